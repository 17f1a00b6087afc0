#pragma once

#include "platform/clipboard.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"

#include <memory>

namespace platform::x11 {

/// The CLIPBOARD selection of the application's X server, read with a bound on every wait for another
/// application. Without an X11 display it holds only what Velmora writes. Needs the application object.
[[nodiscard]] std::unique_ptr<Clipboard> createClipboard();

/// Key strokes through the XTest extension of the application's X server; does nothing without one.
[[nodiscard]] std::unique_ptr<Keyboard> createKeyboard();

/// Whether the pointer is over a window of the application's X server. XWayland learns where the pointer is only
/// while it is over an X11 window: once it leaves for a native one, XWayland keeps the last spot, over no window.
[[nodiscard]] bool isPointerOverX11Window();

/// Grabs on the root window of the application's X server; Meta is the Super key there. Without an X11
/// display every registration is `Unavailable`. Must be destroyed before the application object.
[[nodiscard]] std::unique_ptr<HotKeys> createHotKeys();

} // namespace platform::x11
