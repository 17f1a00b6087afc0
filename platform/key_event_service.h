#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

/// Virtual key code of the key in the V position of the ANSI layout.
inline constexpr std::uint16_t kVK_ANSI_V = 9;

/// Modifier flags of a synthetic keyboard event.
inline constexpr std::uint64_t kCGEventFlagMaskShift = 0x20000;
inline constexpr std::uint64_t kCGEventFlagMaskControl = 0x40000;
inline constexpr std::uint64_t kCGEventFlagMaskAlternate = 0x80000;
inline constexpr std::uint64_t kCGEventFlagMaskCommand = 0x100000;

/// Whose key state an event source starts from.
enum class EventSourceStateID
{
    CombinedSessionState = 0,
    HIDSystemState = 1,
};

/// Where a synthetic event enters the system.
enum class EventTapLocation
{
    HIDEventTap = 0,
    SessionEventTap = 1,
};

enum class KeyDirection
{
    Down,
    Up,
};

struct EventSource
{
    EventSourceStateID state;
};

struct KeyboardEvent
{
    std::uint16_t virtualKey;
    KeyDirection direction;
    /// The whole modifier set the receiver sees with the key.
    std::uint64_t flags;
};

/// Synthetic key strokes, as if typed on the keyboard, for the application that has the focus.
/// GUI thread only.
class KeyEventService
{
public:
    virtual ~KeyEventService() = default;

    /// Nothing when synthetic input is not available.
    [[nodiscard]] virtual std::optional<EventSource> createEventSource(EventSourceStateID state) = 0;
    /// `source` may be null. Nothing when the key cannot be typed here.
    [[nodiscard]] virtual std::optional<KeyboardEvent> createKeyboardEvent(const EventSource* source,
                                                                           std::uint16_t virtualKey,
                                                                           KeyDirection direction) = 0;
    virtual void post(EventTapLocation tap, const KeyboardEvent& event) = 0;
};

/// Key strokes through the XTest extension of the application's X server; modifiers travel as the
/// modifier keys that carry them. Without an X11 display no event source or event can be made.
[[nodiscard]] std::unique_ptr<KeyEventService> createKeyEventService();

} // namespace platform
