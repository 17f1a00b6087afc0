#pragma once

#include <cstdint>
#include <optional>

namespace platform::x11 {

/// An X window of any client.
using WindowId = std::uint32_t;

/// The window the user works in now: `_NET_ACTIVE_WINDOW` under an EWMH window manager, else the X input
/// focus. Nothing without an X11 display or while no window has the focus.
[[nodiscard]] std::optional<WindowId> activeWindow();

/// Asks the window manager to activate `window`, or gives it the input focus where there is none. A window
/// that has gone or cannot take the focus is left alone.
void activateWindow(WindowId window);

} // namespace platform::x11
