#include "system/auto_paste.h"

#include "platform/key_event_service.h"
#include "platform/notification_center.h"
#include "tests/fakes/call_log.h"
#include "tests/fakes/fake_application.h"
#include "tests/fakes/fake_key_event_service.h"
#include "tests/fakes/fake_main_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

class AutoPasteTest : public ::testing::Test
{
protected:
    AutoPasteTest()
    {
        notifications.addObserver("ClosePopover", [this] { log.record("ClosePopover"); });
    }

    void paste() { performAutoPaste(notifications, application, mainQueue, keyEvents); }

    /// Checks that `posts` are key-down then key-up pairs of V with exactly the Command flag, at the HID tap.
    static void expectCommandVPairs(const std::vector<FakeKeyEventService::Post>& posts, std::size_t pairs)
    {
        ASSERT_EQ(posts.size(), 2 * pairs);
        for (std::size_t index = 0; index < posts.size(); ++index) {
            SCOPED_TRACE(index);
            const auto& post = posts[index];
            EXPECT_EQ(post.tap, platform::EventTapLocation::HIDEventTap);
            EXPECT_EQ(post.event.virtualKey, 9);
            EXPECT_EQ(post.event.direction, index % 2 == 0 ? platform::KeyDirection::Down : platform::KeyDirection::Up);
            EXPECT_EQ(post.event.flags, 0x100000U);
        }
    }

    CallLog log;
    platform::NotificationCenter notifications;
    FakeApplication application{&log};
    FakeMainQueue mainQueue;
    FakeKeyEventService keyEvents{&log};
};

} // namespace

TEST_F(AutoPasteTest, ClosesThePanelAndHidesBeforeReturningWithoutTypingYet)
{
    paste();

    EXPECT_EQ(log.calls(), (std::vector<std::string>{"ClosePopover", "hide"}));
    EXPECT_EQ(mainQueue.delays(), (std::vector<std::chrono::nanoseconds>{100ms}));
    EXPECT_TRUE(keyEvents.posts().empty());
}

TEST_F(AutoPasteTest, TypesCommandVATenthOfASecondLaterWhateverTheUserHolds)
{
    keyEvents.setHeldFlags(platform::kCGEventFlagMaskShift | platform::kCGEventFlagMaskAlternate);
    paste();

    mainQueue.advance(99ms);
    EXPECT_TRUE(keyEvents.posts().empty());
    mainQueue.advance(1ms);
    expectCommandVPairs(keyEvents.posts(), 1);
    EXPECT_EQ(keyEvents.sourceStates(), (std::vector{platform::EventSourceStateID::HIDSystemState}));
}

TEST_F(AutoPasteTest, TwoCallsFiftyMillisecondsApartTypeTwoPairsEachOnItsOwnTime)
{
    paste();
    mainQueue.advance(50ms);
    paste();

    mainQueue.advance(50ms);
    EXPECT_EQ(keyEvents.posts().size(), 2U);
    mainQueue.advance(49ms);
    EXPECT_EQ(keyEvents.posts().size(), 2U);
    mainQueue.advance(1ms);
    expectCommandVPairs(keyEvents.posts(), 2);
    EXPECT_EQ(log.count("hide"), 2U);
}

TEST_F(AutoPasteTest, SkipsOnlyWhatCannotBeTypedSafely)
{
    using platform::KeyDirection;
    const struct
    {
        const char* name;
        bool sourceAvailable;
        std::optional<KeyDirection> refused;
        std::vector<KeyDirection> posted;
    } rows[] = {
        {"no event source", false, std::nullopt, {KeyDirection::Down, KeyDirection::Up}},
        {"no key-down", true, KeyDirection::Down, {KeyDirection::Up}},
        // A key-down alone would leave V and Control held down in the focused window.
        {"no key-up", true, KeyDirection::Up, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeKeyEventService keyEvents;
        keyEvents.setSourceAvailable(row.sourceAvailable);
        if (row.refused) {
            keyEvents.refuseEvents(*row.refused);
        }
        performAutoPaste(notifications, application, mainQueue, keyEvents);
        mainQueue.advance(100ms);

        std::vector<KeyDirection> posted;
        for (const auto& post : keyEvents.posts()) {
            EXPECT_EQ(post.event.flags, platform::kCGEventFlagMaskCommand);
            posted.push_back(post.event.direction);
        }
        EXPECT_EQ(posted, row.posted);
    }
}
