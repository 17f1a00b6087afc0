#include "system/global_hotkey.h"

#include "system/notification_center.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_event_loop.h"

#include <gtest/gtest.h>

// Registered twice or under another chord, a press would post two toggles or none.
TEST(GlobalHotkeyTest, EachPressOfSuperShiftCPostsOneToggleFromTheEventLoop)
{
    CallLog log;
    FakeHotKeys hotKeys{log};
    FakeEventLoop eventLoop;
    NotificationCenter notifications;
    int toggles = 0;
    notifications.addObserver(notifications::togglePopover, [&] { ++toggles; });
    registerGlobalHotkey(hotKeys, eventLoop, notifications);

    hotKeys.press(QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_C));
    EXPECT_EQ(toggles, 0);
    eventLoop.runPending();
    EXPECT_EQ(toggles, 1);
}

// An observer added while a post runs hears only the next one.
TEST(NotificationCenterTest, RunsTheObserversOfTheNameAtOnceInRegistrationOrder)
{
    NotificationCenter center;
    std::vector<std::string> calls;
    center.addObserver(notifications::closePopover, [&] { calls.push_back("first close"); });
    center.addObserver(notifications::togglePopover, [&] {
        calls.push_back("toggle");
        center.addObserver(notifications::togglePopover, [&] { calls.push_back("late"); });
    });
    center.addObserver(notifications::closePopover, [&] { calls.push_back("second close"); });

    center.post(notifications::closePopover);
    center.post(notifications::togglePopover);
    EXPECT_EQ(calls, (std::vector<std::string>{"first close", "second close", "toggle"}));
    center.post(notifications::togglePopover);
    EXPECT_EQ(calls.back(), "late");
}
