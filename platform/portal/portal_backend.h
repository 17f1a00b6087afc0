#pragma once

#include "platform/hot_keys.h"

#include <memory>

namespace platform::portal {

/// One chord through the desktop's GlobalShortcuts portal, which Wayland desktops offer in place of key grabs;
/// null where no portal offers it.
[[nodiscard]] std::unique_ptr<HotKeys> createHotKeys();

} // namespace platform::portal
