#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// How the macOS chords of the system above map onto an X11 keyboard. The hot key Command+Shift+C becomes
// Super+Shift+C: Super sits where Command sits, and Ctrl+Shift+C is the copy chord of every terminal,
// which a global grab would take away. The synthetic paste Command+V becomes Ctrl+V, the paste chord of
// Linux applications.

namespace platform::x11 {

enum class Modifier
{
    Shift,
    Control,
    Alt,
    Super,
};

/// The keysym of the key at a virtual key code; nothing for a key outside the table.
[[nodiscard]] std::optional<std::uint32_t> keysymForVirtualKey(std::uint32_t virtualKey);

/// The modifiers of a hot-key modifier mask, Command being Super; nothing when a bit has no counterpart.
[[nodiscard]] std::optional<std::vector<Modifier>> hotKeyModifiers(std::uint32_t modifiers);

/// The modifiers of the flags of a synthetic key event, Command being Control. Flags without a modifier key
/// (Caps Lock state, numeric pad, ...) are left out.
[[nodiscard]] std::vector<Modifier> eventModifiers(std::uint64_t flags);

/// The keysym of the left-hand key of a modifier.
[[nodiscard]] std::uint32_t keysymOf(Modifier modifier);

} // namespace platform::x11
