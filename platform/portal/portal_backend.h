#pragma once

#include "platform/hot_keys.h"
#include "platform/keyboard.h"

#include <memory>

namespace platform::portal {

/// One chord through the desktop's GlobalShortcuts portal, which Wayland desktops offer in place of key grabs;
/// null where no portal offers it.
[[nodiscard]] std::unique_ptr<HotKeys> createHotKeys();

/// Key strokes through the desktop's RemoteDesktop portal, asking the user the first time they are needed;
/// `fallback` where no portal offers them, and once the desktop has refused.
[[nodiscard]] std::unique_ptr<Keyboard> createKeyboard(std::unique_ptr<Keyboard> fallback);

} // namespace platform::portal
