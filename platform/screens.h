#pragma once

#include <QPoint>
#include <QRect>

#include <optional>
#include <vector>

namespace platform {

/// A screen in Qt's global coordinates: the origin at the top-left corner of the virtual desktop, y growing
/// downwards, in device-independent pixels.
struct Screen
{
    QRect geometry;
    /// The geometry less the panels and docks that reserve space at its edges.
    QRect availableGeometry;
};

/// The screens and the pointer. GUI thread only.
class Screens
{
public:
    virtual ~Screens() = default;

    /// Every screen, the primary one first.
    [[nodiscard]] virtual std::vector<Screen> screens() const = 0;
    /// The screen of the window that has the keyboard focus, else the primary screen; none when there is no
    /// screen at all.
    [[nodiscard]] virtual std::optional<Screen> activeScreen() const = 0;
    /// None where the desktop does not say: XWayland while the pointer is over a native Wayland window.
    [[nodiscard]] virtual std::optional<QPoint> pointerPosition() const = 0;
};

} // namespace platform
