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
using platform::KeyDirection;

namespace {

class AutoPasteTest : public ::testing::Test
{
protected:
    AutoPasteTest() { notifications.addObserver("ClosePopover", [this] { log.record("ClosePopover"); }); }

    void paste(FakeKeyEventService& keys) { performAutoPaste(notifications, application, mainQueue, keys); }

    /// The directions posted, each checked to be V with the Command flag alone at the HID tap.
    static std::vector<KeyDirection> commandVs(const FakeKeyEventService& keys)
    {
        std::vector<KeyDirection> directions;
        for (const auto& post : keys.posts()) {
            EXPECT_EQ(post.tap, platform::EventTapLocation::HIDEventTap);
            EXPECT_EQ(post.event.virtualKey, 9);
            EXPECT_EQ(post.event.flags, 0x100000U);
            directions.push_back(post.event.direction);
        }
        return directions;
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
    paste(keyEvents);

    EXPECT_EQ(log.calls(), (std::vector<std::string>{"ClosePopover", "hide"}));
    EXPECT_EQ(mainQueue.delays(), (std::vector<std::chrono::nanoseconds>{100ms}));
    EXPECT_TRUE(keyEvents.posts().empty());
}

TEST_F(AutoPasteTest, TypesCommandVATenthOfASecondLaterWhateverTheUserHolds)
{
    keyEvents.setHeldFlags(platform::kCGEventFlagMaskShift | platform::kCGEventFlagMaskAlternate);
    paste(keyEvents);

    mainQueue.advance(99ms);
    EXPECT_TRUE(keyEvents.posts().empty());
    mainQueue.advance(1ms);
    EXPECT_EQ(commandVs(keyEvents), (std::vector{KeyDirection::Down, KeyDirection::Up}));
    EXPECT_EQ(keyEvents.sourceStates(), (std::vector{platform::EventSourceStateID::HIDSystemState}));
}

TEST_F(AutoPasteTest, TwoCallsFiftyMillisecondsApartTypeTwoPairsEachOnItsOwnTime)
{
    paste(keyEvents);
    mainQueue.advance(50ms);
    paste(keyEvents);

    mainQueue.advance(50ms);
    EXPECT_EQ(keyEvents.posts().size(), 2U);
    mainQueue.advance(49ms);
    EXPECT_EQ(keyEvents.posts().size(), 2U);
    mainQueue.advance(1ms);
    EXPECT_EQ(commandVs(keyEvents),
              (std::vector{KeyDirection::Down, KeyDirection::Up, KeyDirection::Down, KeyDirection::Up}));
}

TEST_F(AutoPasteTest, SkipsOnlyWhatCannotBeTypedSafely)
{
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
        FakeKeyEventService keys;
        keys.setSourceAvailable(row.sourceAvailable);
        if (row.refused) {
            keys.refuseEvents(*row.refused);
        }
        paste(keys);
        mainQueue.advance(100ms);
        EXPECT_EQ(commandVs(keys), row.posted);
    }
}
