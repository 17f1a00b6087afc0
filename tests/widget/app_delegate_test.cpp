#include "app/app_delegate.h"

#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_event_loop.h"
#include "views/content_view.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Launching, toggling, the tray icon's clicks and the panel's place are checked end to end on a real desktop.
class AppDelegateTest : public ::testing::Test
{
protected:
    FakeClipboard clipboard;
    FakeEventLoop eventLoop;
    FakeBackgroundTimers timers;
    FakeDesktop desktop;
    AppDelegate delegate{{clipboard, eventLoop, timers, desktop, desktop, desktop, desktop, desktop, desktop}};
};

TEST_F(AppDelegateTest, RecordsCopiesBeforeLaunchingHasFinished)
{
    clipboard.copyText(QStringLiteral("copied early"));
    timers.fire();
    eventLoop.runPending();
    EXPECT_EQ(delegate.clipboardManager().history().size(), 1U);
}

// A paste hides every window of the application as well, so only here does a lost close request show.
TEST_F(AppDelegateTest, ThePanelShowsWithAnEmptySearchAndHidesOnClosePopoverOrEscape)
{
    delegate.applicationDidFinishLaunching();
    delegate.clipboardManager().setSearchText(QStringLiteral("abc"));
    desktop.log.clear();
    delegate.showPanel();
    EXPECT_TRUE(delegate.clipboardManager().searchText().isEmpty());
    EXPECT_TRUE(delegate.panel()->isVisible());
    EXPECT_EQ(desktop.log, std::vector{FakeDesktop::Call::Activate});
    emit delegate.ClosePopover();
    EXPECT_FALSE(delegate.panel()->isVisible());
    delegate.showPanel();
    emit delegate.panel()->findChild<ContentView*>()->closeRequested();
    EXPECT_FALSE(delegate.panel()->isVisible());
}

// The hot key's press waits for a turn of the event loop, then goes through the signal that others may emit.
TEST_F(AppDelegateTest, TheHotKeyTogglesThePanelThroughTogglePopover)
{
    delegate.applicationDidFinishLaunching();
    const QSignalSpy toggles(&delegate, &AppDelegate::TogglePopover);
    ASSERT_TRUE(desktop.hotKeyPressed);
    desktop.hotKeyPressed();
    EXPECT_EQ(toggles.count(), 0);
    eventLoop.runPending();
    EXPECT_EQ(toggles.count(), 1);
    EXPECT_TRUE(delegate.panel()->isVisible());
    emit delegate.TogglePopover();
    EXPECT_FALSE(delegate.panel()->isVisible());
}

TEST_F(AppDelegateTest, TheAboutNoteSaysToPressCtrlVWhereVelmoraCannotPressKeys)
{
    delegate.applicationDidFinishLaunching();
    for (const bool pressesKeys : {true, false}) {
        desktop.pressesKeys = pressesKeys;
        delegate.togglePanel(Qt::RightButton);
        EXPECT_EQ(desktop.lastAlert.informativeText.contains(QLatin1String("press Ctrl+V to paste it")), !pressesKeys);
    }
}

} // namespace
