#include "app/panel_placement.h"

#include <algorithm>

namespace {

constexpr int gapBelowPointer = 10;

std::optional<QRect> usableAreaAt(QPoint pointer, const std::vector<platform::Screen>& screens,
                                  const std::optional<platform::Screen>& activeScreen)
{
    // A point is a pixel, and a screen holds its pixels from left() to right() and top() to bottom(): a
    // pointer on the edge shared by two screens is on the first pixel of exactly one of them.
    const auto holder = std::ranges::find_if(
        screens, [pointer](const platform::Screen& screen) { return screen.geometry.contains(pointer); });
    if (holder != screens.end()) {
        return holder->availableGeometry;
    }
    if (activeScreen) {
        return activeScreen->availableGeometry;
    }
    return std::nullopt;
}

} // namespace

QPoint panelTopLeft(std::optional<QPoint> pointer, QSize panelSize, const std::vector<platform::Screen>& screens,
                    const std::optional<platform::Screen>& activeScreen)
{
    const int w = panelSize.width();
    const int h = panelSize.height();
    if (!pointer) {
        const QRect area = activeScreen ? activeScreen->availableGeometry : QRect();
        return {area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2};
    }
    QPoint topLeft(pointer->x() - w / 2, pointer->y() + gapBelowPointer);

    const auto area = usableAreaAt(*pointer, screens, activeScreen);
    if (!area) {
        return topLeft;
    }
    // The edges, not QRect's right() and bottom(), which are the last pixels inside.
    const int areaRight = area->x() + area->width();
    const int areaBottom = area->y() + area->height();
    if (topLeft.x() < area->left()) {
        topLeft.setX(area->left());
    }
    if (topLeft.x() + w > areaRight) {
        topLeft.setX(areaRight - w);
    }
    if (topLeft.y() + h > areaBottom) {
        topLeft.setY(areaBottom - h);
    }
    if (topLeft.y() < area->top()) {
        topLeft.setY(area->top());
    }
    return topLeft;
}
