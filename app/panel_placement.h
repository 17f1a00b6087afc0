#pragma once

#include "platform/screens.h"

#include <QPoint>
#include <QSize>

#include <optional>
#include <vector>

/// Where the panel's top-left corner goes when it is shown, in Qt's global coordinates: centred on the
/// pointer with its top edge 10 below it, then pushed into the usable area of the screen that holds the
/// pointer (else of `activeScreen`, else left as it is). The tests are strict and run left, right, bottom,
/// top: a panel too big for the area ends flush with its right and top edges. Where the pointer is not known,
/// the panel is centred on `activeScreen`'s usable area, never at a stale spot.
[[nodiscard]] QPoint panelTopLeft(std::optional<QPoint> pointer, QSize panelSize,
                                  const std::vector<platform::Screen>& screens,
                                  const std::optional<platform::Screen>& activeScreen);
