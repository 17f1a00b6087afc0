#include "system/auto_paste.h"

#include "platform/application.h"
#include "platform/dispatch.h"
#include "platform/key_event_service.h"
#include "platform/notification_center.h"

#include <chrono>
#include <optional>

namespace {

constexpr std::chrono::milliseconds pasteDelay{100};

std::optional<platform::KeyboardEvent> commandV(platform::KeyEventService& keyEvents,
                                                const platform::EventSource* source, platform::KeyDirection direction)
{
    auto event = keyEvents.createKeyboardEvent(source, platform::kVK_ANSI_V, direction);
    if (event) {
        // Replaces the modifiers the event was made with: Command alone, whatever the user holds.
        event->flags = platform::kCGEventFlagMaskCommand;
    }
    return event;
}

void typeCommandV(platform::KeyEventService& keyEvents)
{
    // Without a source the events are still made, from no particular key state.
    const auto source = keyEvents.createEventSource(platform::EventSourceStateID::HIDSystemState);
    const auto* sourceOrNull = source ? &*source : nullptr;
    const auto keyDown = commandV(keyEvents, sourceOrNull, platform::KeyDirection::Down);
    const auto keyUp = commandV(keyEvents, sourceOrNull, platform::KeyDirection::Up);
    // A key-down without its key-up would leave V and the modifier held down, repeating, in whatever
    // window has the focus; a key-up alone does no harm.
    if (keyDown && keyUp) {
        keyEvents.post(platform::EventTapLocation::HIDEventTap, *keyDown);
    }
    if (keyUp) {
        keyEvents.post(platform::EventTapLocation::HIDEventTap, *keyUp);
    }
}

} // namespace

void performAutoPaste(platform::NotificationCenter& notifications, platform::Application& application,
                      platform::MainQueue& mainQueue, platform::KeyEventService& keyEvents)
{
    notifications.post("ClosePopover");
    application.hide();
    mainQueue.asyncAfter(pasteDelay, [&keyEvents] { typeCommandV(keyEvents); });
}
