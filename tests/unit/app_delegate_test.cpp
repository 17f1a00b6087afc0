#include "app/app_delegate.h"

#include "tests/fakes/call_log.h"
#include "tests/fakes/fake_accessibility.h"
#include "tests/fakes/fake_alerts.h"
#include "tests/fakes/fake_application.h"
#include "tests/fakes/fake_hot_key_service.h"
#include "tests/fakes/fake_main_queue.h"
#include "tests/fakes/fake_panel.h"
#include "tests/fakes/fake_pasteboard.h"
#include "tests/fakes/fake_queue_factory.h"
#include "tests/fakes/fake_screens.h"
#include "tests/fakes/fake_status_bar.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using platform::EventType;

const platform::Screen laptop{{{0, 0}, {1440, 900}}, {{0, 80}, {1440, 795}}};

class AppDelegateTest : public ::testing::Test
{
protected:
    explicit AppDelegateTest(FakeStatusBar::Tray tray = FakeStatusBar::Tray::Present) : statusBar(tray, &log)
    {
        screens.setScreens({laptop});
        screens.setMainScreen(laptop);
        screens.setMouseLocation({720, 600});
    }

    void launch() { delegate.applicationDidFinishLaunching(); }
    [[nodiscard]] FakePanel& panel() const { return *panels.lastPanel(); }
    [[nodiscard]] FakeStatusBarButton& button() const { return *statusBar.lastButton(); }

    void click(EventType type)
    {
        application.setCurrentEvent(platform::Event{type});
        ASSERT_TRUE(button().click());
        application.setCurrentEvent(std::nullopt);
    }

    void pressHotKey() { ASSERT_EQ(hotKeys.send(platform::kEventHotKeyPressed, {}), platform::HotKeyStatus::NoError); }

    CallLog log;
    FakePasteboard pasteboard;
    FakeMainQueue mainQueue;
    FakeQueueFactory queues;
    FakeApplication application{&log};
    platform::NotificationCenter notifications;
    FakeHotKeyService hotKeys{&log};
    FakeAccessibility accessibility{true, &log};
    FakeScreens screens;
    FakeStatusBar statusBar;
    FakeAlerts alerts;
    FakePanelFactory panels{&log};
    AppDelegate delegate{{pasteboard, mainQueue, queues, application, notifications, hotKeys, accessibility, screens,
                          statusBar, alerts, panels}};
};

class AppDelegateWithoutTrayTest : public AppDelegateTest
{
protected:
    AppDelegateWithoutTrayTest() : AppDelegateTest(FakeStatusBar::Tray::Absent) {}
};

TEST_F(AppDelegateTest, RecordsCopiesFromItsCreationBeforeLaunchingHasFinished)
{
    ASSERT_EQ(queues.timers().size(), 1U);
    EXPECT_TRUE(queues.timers()[0]->isResumed());
    EXPECT_EQ(delegate.panel(), nullptr);
    EXPECT_EQ(delegate.statusItem(), nullptr);

    pasteboard.copyText(QStringLiteral("copied early"));
    queues.timers()[0]->fire();
    mainQueue.runPending();
    ASSERT_EQ(delegate.clipboardManager().history().size(), 1U);
    EXPECT_EQ(delegate.clipboardManager().history()[0].text(), QStringLiteral("copied early"));

    launch();
    EXPECT_EQ(queues.queues().size(), 1U) << "launching made a second store";
    EXPECT_EQ(panels.contentManagers(), std::vector<ClipboardManager*>{&delegate.clipboardManager()});
}

TEST_F(AppDelegateTest, LaunchesInOrderWithThePanelBeforeTheTrayItemAndTheHotKeyLast)
{
    launch();
    const std::vector<std::string> expected{"isProcessTrusted", "makePanel",           "makeContentView",
                                            "setContentView",   "statusItem",          "installEventHandler",
                                            "registerEventHotKey"};
    EXPECT_EQ(log.calls(), expected);

    EXPECT_EQ(accessibility.prompts(), std::vector{platform::TrustPrompt::Show});
    ASSERT_EQ(panels.contentRects().size(), 1U);
    EXPECT_EQ(panels.contentRects()[0].origin.x, 0);
    EXPECT_EQ(panels.contentRects()[0].origin.y, 0);
    EXPECT_EQ(panels.contentRects()[0].size.width, 320);
    EXPECT_EQ(panels.contentRects()[0].size.height, 420);
    EXPECT_FALSE(panel().isVisible());
    EXPECT_EQ(statusBar.lengths(), std::vector{platform::variableStatusItemLength});
    EXPECT_EQ(button().symbolName(), QStringLiteral("doc.on.clipboard"));
    EXPECT_EQ(button().accessibilityDescription(), QStringLiteral("Velmora"));
    EXPECT_EQ(button().mask(), platform::leftMouseUpMask | platform::rightMouseUpMask);
}

TEST_F(AppDelegateTest, RightClickShowsTheAboutAlertAndLeavesThePanelAsItWas)
{
    launch();
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open ? "panel open" : "panel closed");
        if (open) {
            delegate.showPanel();
        }
        std::optional<bool> visibleDuringAlert;
        alerts.setWhileRunning([&] { visibleDuringAlert = panel().isVisible(); });
        const auto shows = panel().showCount();

        click(EventType::RightMouseUp);

        EXPECT_EQ(visibleDuringAlert, open);
        EXPECT_EQ(panel().isVisible(), open);
        EXPECT_EQ(panel().showCount(), shows);
        EXPECT_EQ(log.calls().back(), "activate") << "the application is activated for the alert";
    }
    ASSERT_EQ(alerts.alerts().size(), 2U);
    const platform::Alert& alert = alerts.alerts()[0];
    EXPECT_EQ(alert.messageText, QString::fromUtf8("Velmora by Hollin \xF0\x9F\xA5\xA7"));
    EXPECT_EQ(alert.informativeText,
              QStringLiteral("Velmora runs quietly in your menu bar.\n\nEvery time you copy text or images, it "
                             "remembers them.\n\nClick the menu bar icon or press Super+Shift+C to see your history."));
    EXPECT_EQ(alert.alertStyle, platform::AlertStyle::Informational);
    EXPECT_EQ(alert.buttons, QStringList{QStringLiteral("Got it")});
}

TEST_F(AppDelegateTest, EveryOtherClickAndEveryToggleRequestToggleThePanel)
{
    launch();
    struct Case
    {
        const char* name;
        std::function<void()> act;
    };
    const std::vector<Case> cases{
        {"left mouse-up on the tray item", [&] { click(EventType::LeftMouseUp); }},
        {"another event on the tray item", [&] { click(EventType::Other); }},
        {"tray item action with no current event", [&] { ASSERT_TRUE(button().click()); }},
        {"TogglePopover", [&] { notifications.post("TogglePopover"); }},
        {"TogglePopover during a right mouse-up",
         [&] {
             application.setCurrentEvent(platform::Event{EventType::RightMouseUp});
             notifications.post("TogglePopover");
             application.setCurrentEvent(std::nullopt);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        EXPECT_TRUE(panel().isVisible());
        c.act();
        EXPECT_FALSE(panel().isVisible());
    }
    EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(AppDelegateTest, ClosePopoverHidesAnOpenPanelAndLeavesAHiddenOneHidden)
{
    launch();
    notifications.post("ClosePopover");
    EXPECT_FALSE(panel().isVisible());
    EXPECT_EQ(panel().showCount(), 0);

    delegate.showPanel();
    notifications.post("ClosePopover");
    EXPECT_FALSE(panel().isVisible());
}

TEST_F(AppDelegateTest, ShowingEmptiesTheSearchOncePlacesThePanelUnderThePointerAndActivates)
{
    launch();
    for (const QString& search : {QStringLiteral("abc"), QString()}) {
        SCOPED_TRACE(search.toStdString());
        delegate.clipboardManager().setSearchText(search);
        int changes = 0;
        const auto connection = delegate.clipboardManager().objectWillChange().connect([&] { ++changes; });
        delegate.showPanel();
        EXPECT_EQ(changes, 1);
        EXPECT_TRUE(delegate.clipboardManager().searchText().isEmpty());
        delegate.closePanel();
    }

    screens.setMouseLocation({1400, 890});
    const auto before = log.calls().size();
    delegate.showPanel();
    EXPECT_EQ(panel().frame().origin.x, 1120);
    EXPECT_EQ(panel().frame().origin.y, 455);
    const std::vector<std::string> tail(log.calls().begin() + static_cast<std::ptrdiff_t>(before), log.calls().end());
    EXPECT_EQ(tail, (std::vector<std::string>{"setFrameOrigin", "makeKeyAndOrderFront", "activate"}));
}

TEST_F(AppDelegateTest, EachHotKeyPressTogglesThePanelInALaterTurnOfTheMainQueue)
{
    launch();
    pressHotKey();
    EXPECT_FALSE(panel().isVisible());
    mainQueue.runPending();
    EXPECT_TRUE(panel().isVisible());
    pressHotKey();
    mainQueue.runPending();
    EXPECT_FALSE(panel().isVisible());
}

TEST_F(AppDelegateWithoutTrayTest, LaunchesWithoutATrayItemAndTheHotKeyStillOpensThePanel)
{
    launch();
    EXPECT_EQ(statusBar.lastButton(), nullptr);
    EXPECT_EQ(log.calls().back(), "registerEventHotKey");
    pressHotKey();
    mainQueue.runPending();
    EXPECT_TRUE(panel().isVisible());
}

} // namespace
