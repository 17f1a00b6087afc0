#include "app/app_delegate.h"

#include "system/global_hotkey.h"
#include "tests/fakes/call_log.h"
#include "tests/fakes/fake_alerts.h"
#include "tests/fakes/fake_application.h"
#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"
#include "tests/fakes/fake_hot_keys.h"
#include "tests/fakes/fake_keyboard.h"
#include "tests/fakes/fake_screens.h"
#include "tests/fakes/fake_tray.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class AppDelegateTest : public ::testing::Test
{
protected:
    [[nodiscard]] bool isPanelVisible() const { return delegate.panel()->isVisible(); }

    CallLog log;
    FakeClipboard clipboard;
    FakeEventLoop eventLoop;
    FakeBackgroundTimers timers;
    FakeApplication application{log};
    NotificationCenter notifications;
    FakeHotKeys hotKeys{log};
    FakeKeyboard keyboard{log};
    FakeScreens screens;
    FakeTray tray{log};
    FakeAlerts alerts{log};
    AppDelegate delegate{
        {clipboard, eventLoop, timers, application, notifications, hotKeys, keyboard, screens, tray, alerts}};
};

TEST_F(AppDelegateTest, RecordsCopiesFromItsCreationAndLaunchingShowsTheTrayIconThenRegistersTheHotKey)
{
    clipboard.copyText(QStringLiteral("copied early"));
    timers.fire();
    eventLoop.runPending();
    ASSERT_EQ(delegate.clipboardManager().history().size(), 1U);
    EXPECT_EQ(delegate.panel(), nullptr);

    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(timers.timers().size(), 1U) << "launching makes no second store";
    EXPECT_FALSE(isPanelVisible());
    EXPECT_EQ(delegate.panel()->size(), QSize(320, 420));
    EXPECT_EQ(log, (CallLog{Call::ShowTray, Call::RegisterHotKey}));
    EXPECT_TRUE(tray.hasIcon());
    EXPECT_EQ(tray.name(), QStringLiteral("Velmora"));
}

TEST_F(AppDelegateTest, RightClickShowsTheAboutAlertAndLeavesThePanelAsItWas)
{
    delegate.applicationDidFinishLaunching();
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open ? "panel open" : "panel closed");
        if (open) {
            delegate.showPanel();
        }
        log.clear();
        tray.click(Qt::RightButton);
        EXPECT_EQ(log, (CallLog{Call::Activate, Call::ShowAlert}));
        EXPECT_EQ(isPanelVisible(), open);
    }
    // Its other texts are checked end to end.
    ASSERT_EQ(alerts.alerts().size(), 2U);
    EXPECT_EQ(alerts.alerts()[0].button, QStringLiteral("Got it"));
}

TEST_F(AppDelegateTest, LeftClicksAndToggleRequestsToggleThePanelAndCloseRequestsOnlyHideIt)
{
    delegate.applicationDidFinishLaunching();
    const struct
    {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"left click on the tray icon", [&] { tray.click(Qt::LeftButton); }},
        {"TogglePopover", [&] { notifications.post(notifications::togglePopover); }},
        {"the hot key",
         [&] {
             hotKeys.press(globalHotkey);
             eventLoop.runPending();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        EXPECT_TRUE(isPanelVisible());
        c.act();
        EXPECT_FALSE(isPanelVisible());
    }
    EXPECT_TRUE(alerts.alerts().empty());

    delegate.showPanel();
    for (int post = 0; post < 2; ++post) {
        notifications.post(notifications::closePopover);
        EXPECT_FALSE(isPanelVisible());
    }
}

TEST_F(AppDelegateTest, ShowingEmptiesTheSearchOncePlacesThePanelUnderThePointerAndActivates)
{
    delegate.applicationDidFinishLaunching();
    delegate.clipboardManager().setSearchText(QStringLiteral("abc"));
    int changes = 0;
    const auto connection = delegate.clipboardManager().objectWillChange().connect([&] { ++changes; });
    screens.all = {{{{0, 0}, {1440, 900}}, {{0, 80}, {1440, 795}}}};
    screens.pointer = {1400, 890};
    log.clear();

    delegate.showPanel();
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(delegate.clipboardManager().searchText().isEmpty());
    // (1120, 455) from the bottom-left, 420 high: its top edge 25 below the top of the screen.
    EXPECT_EQ(delegate.panel()->pos(), QPoint(1120, 25));
    EXPECT_TRUE(isPanelVisible());
    EXPECT_EQ(log, CallLog{Call::Activate});
}

} // namespace
