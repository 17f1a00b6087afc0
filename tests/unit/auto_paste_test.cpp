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

using namespace std::chrono_literals;
using platform::KeyDirection;

namespace {

// V, the Command flag alone, at the HID tap.
const std::string keyDown = "post 0: 9 down 0x100000";
const std::string keyUp = "post 0: 9 up 0x100000";
const std::string source = "createEventSource 1";

class AutoPasteTest : public ::testing::Test
{
protected:
    AutoPasteTest()
    {
        notifications.addObserver("ClosePopover", [this] { log.push_back("ClosePopover"); });
    }

    void paste() { performAutoPaste(notifications, application, mainQueue, keyEvents); }

    CallLog log;
    platform::NotificationCenter notifications;
    FakeApplication application{log};
    FakeMainQueue mainQueue;
    FakeKeyEventService keyEvents{log};
};

} // namespace

TEST_F(AutoPasteTest, ClosesAndHidesAtOnceThenTypesCommandVATenthOfASecondAfterEachCallWhateverTheUserHolds)
{
    keyEvents.setHeldFlags(platform::kCGEventFlagMaskShift | platform::kCGEventFlagMaskAlternate);
    paste();
    EXPECT_EQ(log, (CallLog{"ClosePopover", "hide"}));
    mainQueue.advance(50ms);
    paste();
    log.clear();

    mainQueue.advance(49ms);
    EXPECT_TRUE(log.empty());
    mainQueue.advance(1ms);
    EXPECT_EQ(log, (CallLog{source, keyDown, keyUp}));
    mainQueue.advance(49ms);
    EXPECT_EQ(log.size(), 3U);
    mainQueue.advance(1ms);
    EXPECT_EQ(log, (CallLog{source, keyDown, keyUp, source, keyDown, keyUp}));
}

TEST_F(AutoPasteTest, SkipsOnlyWhatCannotBeTypedSafely)
{
    const struct
    {
        const char* name;
        bool sourceAvailable;
        std::optional<KeyDirection> refused;
        CallLog calls;
    } rows[] = {
        {"no event source", false, std::nullopt, {source, keyDown, keyUp}},
        {"no key-down", true, KeyDirection::Down, {source, keyUp}},
        // A key-down alone would leave V and Control held down in the focused window.
        {"no key-up", true, KeyDirection::Up, {source}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CallLog keys;
        FakeKeyEventService service{keys};
        service.setSourceAvailable(row.sourceAvailable);
        if (row.refused) {
            service.refuseEvents(*row.refused);
        }
        performAutoPaste(notifications, application, mainQueue, service);
        mainQueue.advance(100ms);
        EXPECT_EQ(keys, row.calls);
    }
}
