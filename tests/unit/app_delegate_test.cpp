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

#include <functional>
#include <vector>

namespace {

using platform::EventType;

const platform::Screen laptop{{{0, 0}, {1440, 900}}, {{0, 80}, {1440, 795}}};

class AppDelegateTest : public ::testing::Test
{
protected:
    void launch() { delegate.applicationDidFinishLaunching(); }
    [[nodiscard]] Panel& panel() const { return *delegate.panel(); }

    void click(EventType type)
    {
        application.setCurrentEvent(platform::Event{type});
        statusBar.button().click();
        application.setCurrentEvent(std::nullopt);
    }

    CallLog log;
    FakePasteboard pasteboard;
    FakeMainQueue mainQueue;
    FakeQueueFactory queues;
    FakeApplication application{log};
    platform::NotificationCenter notifications;
    FakeHotKeyService hotKeys{log};
    FakeAccessibility accessibility{log};
    FakeScreens screens;
    FakeStatusBar statusBar{log};
    FakeAlerts alerts{log};
    FakePanelFactory panels{log};
    AppDelegate delegate{{pasteboard, mainQueue, queues, application, notifications, hotKeys, accessibility, screens,
                          statusBar, alerts, panels}};
};

TEST_F(AppDelegateTest, RecordsCopiesFromItsCreationAndLaunchingMakesNoSecondStore)
{
    ASSERT_EQ(queues.timers().size(), 1U);
    pasteboard.copyText(QStringLiteral("copied early"));
    queues.timers()[0]->fire();
    mainQueue.runPending();
    ASSERT_EQ(delegate.clipboardManager().history().size(), 1U);
    EXPECT_EQ(delegate.clipboardManager().history()[0].text(), QStringLiteral("copied early"));

    launch();
    EXPECT_EQ(queues.queues().size(), 1U);
}

TEST_F(AppDelegateTest, LaunchesInOrderWithThePanelBeforeTheTrayItemAndTheHotKeyLast)
{
    launch();
    EXPECT_EQ(log, (CallLog{"isProcessTrusted(prompt)", "makePanel", "makeContentView", "setContentView", "statusItem",
                            "setImage doc.on.clipboard Velmora", "sendActionOn 0x14",
                            "installEventHandler 0x6b657962/5", "registerEventHotKey 8 0x300 0x56656c6d/1 0"}));
    EXPECT_FALSE(panel().isVisible());
}

TEST_F(AppDelegateTest, RightClickShowsTheAboutAlertAndLeavesThePanelAsItWas)
{
    launch();
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open ? "panel open" : "panel closed");
        if (open) {
            delegate.showPanel();
        }
        log.clear();
        click(EventType::RightMouseUp);
        EXPECT_EQ(log, (CallLog{"activate", "runModal"}));
        EXPECT_EQ(panel().isVisible(), open);
    }
    // Its texts are checked end to end.
    ASSERT_EQ(alerts.alerts().size(), 2U);
    EXPECT_EQ(alerts.alerts()[0].alertStyle, platform::AlertStyle::Informational);
    EXPECT_EQ(alerts.alerts()[0].buttons, QStringList{QStringLiteral("Got it")});
}

TEST_F(AppDelegateTest, EveryOtherClickAndEveryToggleRequestToggleThePanel)
{
    launch();
    const struct
    {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"left mouse-up on the tray item", [&] { click(EventType::LeftMouseUp); }},
        {"another event on the tray item", [&] { click(EventType::Other); }},
        {"tray item action with no current event", [&] { statusBar.button().click(); }},
        {"TogglePopover", [&] { notifications.post("TogglePopover"); }},
        {"TogglePopover during a right mouse-up",
         [&] {
             application.setCurrentEvent(platform::Event{EventType::RightMouseUp});
             notifications.post("TogglePopover");
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

    screens.all = {laptop};
    screens.mouse = {1400, 890};
    log.clear();
    delegate.showPanel();
    EXPECT_EQ(panel().frame().origin.x, 1120);
    EXPECT_EQ(panel().frame().origin.y, 455);
    EXPECT_EQ(log, (CallLog{"setFrameOrigin", "makeKeyAndOrderFront", "activate"}));
}

} // namespace
