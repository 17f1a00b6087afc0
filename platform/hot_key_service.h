#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

/// Virtual key code of the key in the C position of the ANSI layout.
inline constexpr std::uint32_t kVK_ANSI_C = 8;

/// Hot-key modifier masks.
inline constexpr std::uint32_t cmdKey = 0x100;
inline constexpr std::uint32_t shiftKey = 0x200;
inline constexpr std::uint32_t optionKey = 0x800;
inline constexpr std::uint32_t controlKey = 0x1000;

/// Event class and kinds of hot-key events.
inline constexpr std::uint32_t kEventClassKeyboard = 0x6B657962; // 'keyb'
inline constexpr std::uint32_t kEventHotKeyPressed = 5;
inline constexpr std::uint32_t kEventHotKeyReleased = 6;

enum class HotKeyStatus
{
    NoError,
    /// A handler's answer: the event goes on to the handler installed before it.
    EventNotHandled,
    /// The chord is taken, by another client or by an earlier registration.
    HotKeyExists,
    /// A key, modifier or event kind this desktop cannot deliver.
    InvalidArgument,
    /// There is no display to grab keys on.
    Unavailable,
};

struct EventTypeSpec
{
    std::uint32_t eventClass;
    std::uint32_t eventKind;
};

struct EventHotKeyID
{
    std::uint32_t signature;
    std::uint32_t id;
};

struct HotKeyEvent
{
    std::uint32_t eventKind;
    EventHotKeyID hotKeyID;
};

/// System-wide hot keys, delivered to handlers installed on the application's event target.
/// GUI thread only; handlers are called on the GUI thread, from the event loop.
class HotKeyService
{
public:
    /// Returns `NoError` when it has handled the event; `EventNotHandled` passes it on.
    using EventHandler = std::function<HotKeyStatus(const HotKeyEvent& event)>;

    virtual ~HotKeyService() = default;

    /// From now on `handler` is called for every event of the listed kinds, before handlers installed
    /// earlier.
    [[nodiscard]] virtual HotKeyStatus installEventHandler(std::vector<EventTypeSpec> eventTypes,
                                                           EventHandler handler) = 0;
    /// Makes the chord send hot-key events, tagged with `hotKeyID`, whichever application is active.
    /// A refused registration changes nothing.
    [[nodiscard]] virtual HotKeyStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                           EventHotKeyID hotKeyID, std::uint32_t options) = 0;
};

/// The hot keys of the X server the application is connected to: grabs on its root window. Without an
/// X11 display every registration is `Unavailable`. Must be destroyed before the application object.
[[nodiscard]] std::unique_ptr<HotKeyService> createHotKeyService();

} // namespace platform
