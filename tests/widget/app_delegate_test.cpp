#include "app/app_delegate.h"

#include "system/global_hotkey.h"
#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_event_loop.h"

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

TEST_F(AppDelegateTest, RecordsCopiesFromItsCreationLaunchesTrayThenHotKeyAndShowsThePanelUnderThePointer)
{
    clipboard.copyText(QStringLiteral("copied early"));
    timers.fire();
    eventLoop.runPending();
    EXPECT_EQ(delegate.clipboardManager().history().size(), 1U);
    delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(isPanelVisible());
    EXPECT_EQ(log, (CallLog{Call::ShowTray, Call::RegisterHotKey}));
    EXPECT_TRUE(tray.hasIcon);

    delegate.clipboardManager().setSearchText(QStringLiteral("abc"));
    screens.all = {{{{0, 0}, {1440, 900}}, {{0, 80}, {1440, 795}}}};
    screens.pointer = {1400, 890};
    log.clear();
    delegate.showPanel();
    EXPECT_TRUE(delegate.clipboardManager().searchText().isEmpty());
    // (1120, 455) from the bottom-left, 420 high: its top edge 25 below the top of the screen.
    EXPECT_EQ(delegate.panel()->pos(), QPoint(1120, 25));
    EXPECT_TRUE(isPanelVisible());
    EXPECT_EQ(log, CallLog{Call::Activate});
}

TEST_F(AppDelegateTest, LeftClicksToggleRequestsAndTheHotKeyToggleThePanelARightClickShowsAbout)
{
    delegate.applicationDidFinishLaunching();
    const struct
    {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"left click on the tray icon", [&] { tray.clicked(Qt::LeftButton); }},
        {"TogglePopover", [&] { notifications.post(notifications::togglePopover); }},
        {"the hot key", [&] { hotKeys.press(globalHotkey), eventLoop.runPending(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        EXPECT_TRUE(isPanelVisible());
        c.act();
        EXPECT_FALSE(isPanelVisible());
    }
    delegate.showPanel();
    log.clear();
    tray.clicked(Qt::RightButton);
    EXPECT_EQ(log, (CallLog{Call::Activate, Call::ShowAlert}));
    EXPECT_TRUE(isPanelVisible());
    ASSERT_EQ(alerts.shown.size(), 1U);
    EXPECT_EQ(alerts.shown[0].button, QStringLiteral("Got it"));
    notifications.post(notifications::closePopover);
    notifications.post(notifications::closePopover);
    EXPECT_FALSE(isPanelVisible());
}

} // namespace
