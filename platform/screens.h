#pragma once

#include <QPoint>

#include <optional>
#include <vector>

namespace platform {

/// A position in global screen coordinates: the origin at the bottom-left corner of the primary
/// screen, y growing upwards. Lengths are device-independent pixels.
struct Point
{
    double x = 0;
    double y = 0;
};

struct Size
{
    double width = 0;
    double height = 0;
};

/// A rectangle in the same coordinates; `origin` is its bottom-left corner.
struct Rect
{
    Point origin;
    Size size;

    [[nodiscard]] double minX() const { return origin.x; }
    [[nodiscard]] double maxX() const { return origin.x + size.width; }
    [[nodiscard]] double minY() const { return origin.y; }
    [[nodiscard]] double maxY() const { return origin.y + size.height; }
};

/// minX <= x < maxX and minY < y <= maxY: with y growing upwards this is the pixel grid's half-open
/// rule, so a point on an edge shared by two screens belongs to exactly one of them.
[[nodiscard]] inline bool containsPoint(const Rect& rect, Point point)
{
    return rect.minX() <= point.x && point.x < rect.maxX() && rect.minY() < point.y && point.y <= rect.maxY();
}

struct Screen
{
    Rect geometry;
    /// The geometry less the panels and docks that reserve space at its edges.
    Rect availableGeometry;
};

/// The screens and the pointer. GUI thread only.
class Screens
{
public:
    virtual ~Screens() = default;

    /// Every screen, the primary one first.
    [[nodiscard]] virtual std::vector<Screen> screens() const = 0;
    /// The screen of the window that has the keyboard focus, else the primary screen; none when
    /// there is no screen at all.
    [[nodiscard]] virtual std::optional<Screen> activeScreen() const = 0;
    [[nodiscard]] virtual Point pointerPosition() const = 0;
    /// Where a window must be moved, in Qt's coordinates, for its geometry to be `rect`.
    [[nodiscard]] virtual QPoint topLeftInQt(const Rect& rect) const = 0;
};

} // namespace platform
