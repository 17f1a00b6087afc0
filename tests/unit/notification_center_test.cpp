#include "platform/notification_center.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(NotificationCenterTest, RunsTheObserversOfTheNameAtOnceInRegistrationOrder)
{
    platform::NotificationCenter center;
    std::vector<std::string> calls;
    center.addObserver("ClosePopover", [&] { calls.push_back("first close"); });
    center.addObserver("TogglePopover", [&] { calls.push_back("toggle"); });
    center.addObserver("ClosePopover", [&] { calls.push_back("second close"); });

    center.post("ClosePopover");
    EXPECT_EQ(calls, (std::vector<std::string>{"first close", "second close"}));

    center.post("Unobserved");
    center.post("TogglePopover");
    EXPECT_EQ(calls, (std::vector<std::string>{"first close", "second close", "toggle"}));
}

TEST(NotificationCenterTest, AnObserverAddedDuringAPostHearsOnlyTheNextOne)
{
    platform::NotificationCenter center;
    int late = 0;
    bool added = false;
    center.addObserver("TogglePopover", [&] {
        if (!added) {
            added = true;
            center.addObserver("TogglePopover", [&] { ++late; });
        }
    });

    center.post("TogglePopover");
    EXPECT_EQ(late, 0);
    center.post("TogglePopover");
    EXPECT_EQ(late, 1);
}
