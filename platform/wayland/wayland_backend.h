#pragma once

#include "platform/clipboard.h"
#include "platform/keyboard.h"

#include <memory>

namespace platform::wayland {

/// The clipboard through the compositor's data-control protocol; null unless the application runs on Qt's
/// wayland platform and the compositor offers it.
[[nodiscard]] std::unique_ptr<Clipboard> createClipboard();

/// Key strokes through the compositor's virtual-keyboard protocol, else KWin's fake input; null where it
/// offers neither, or the application does not run on Qt's wayland platform.
[[nodiscard]] std::unique_ptr<Keyboard> createKeyboard();

} // namespace platform::wayland
