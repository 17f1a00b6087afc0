#include "app/app_delegate.h"

#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_event_loop.h"

#include <QListView>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Call = FakeDesktop::Call;

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

// Escape closing the panel is checked end to end on sway and KWin.
TEST_F(AppDelegateTest, ThePanelShowsWithAnEmptySearchHidesOnClosePopoverAndTheHotKeyTogglesItAfterATurnOfTheLoop)
{
    delegate.applicationDidFinishLaunching();
    delegate.clipboardManager().setSearchText(QStringLiteral("abc"));
    desktop.log.clear();
    delegate.showPanel();
    EXPECT_TRUE(delegate.clipboardManager().searchText().isEmpty());
    EXPECT_TRUE(delegate.panel()->isVisible());
    EXPECT_EQ(desktop.log, std::vector{Call::Activate});
    emit delegate.ClosePopover();
    EXPECT_FALSE(delegate.panel()->isVisible());
    // The hot key's press waits for a turn of the event loop.
    ASSERT_TRUE(desktop.hotKeyPressed);
    desktop.hotKeyPressed();
    EXPECT_FALSE(delegate.panel()->isVisible());
    eventLoop.runPending();
    EXPECT_TRUE(delegate.panel()->isVisible());
    // How `velmora --toggle` reaches the panel.
    emit delegate.TogglePopover();
    EXPECT_FALSE(delegate.panel()->isVisible());
}

// The paste chord must wait until the window the user worked in has the focus again. The row was copied
// before launching had finished: without it the click would hit no row.
TEST_F(AppDelegateTest, ACopyBeforeLaunchingIsKeptAClickedRowClosesThePanelAndThePasteFollowsALittleLater)
{
    clipboard.copyText(QStringLiteral("chosen"));
    timers.fire();
    eventLoop.runPending();
    delegate.applicationDidFinishLaunching();
    delegate.showPanel();
    auto* list = delegate.panel()->findChild<QListView*>(QStringLiteral("historyList"));
    desktop.log.clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    EXPECT_FALSE(delegate.panel()->isVisible());
    EXPECT_EQ(desktop.log, std::vector{Call::Hide});
    eventLoop.advance(99ms);
    EXPECT_EQ(desktop.log, std::vector{Call::Hide});
    eventLoop.advance(1ms);
    EXPECT_EQ(desktop.log, (std::vector{Call::Hide, Call::Paste}));
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
