#include "system/notification_center.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// An observer added while a post runs hears only the next one.
TEST(NotificationCenterTest, RunsTheObserversOfTheNameAtOnceInTheOrderAdded)
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
