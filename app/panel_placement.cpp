#include "app/panel_placement.h"

#include <algorithm>

namespace {

constexpr double gapBelowPointer = 10;

std::optional<platform::Rect> usableAreaAt(platform::Point pointer, const std::vector<platform::Screen>& screens,
                                           const std::optional<platform::Screen>& activeScreen)
{
    const auto holder = std::find_if(screens.begin(), screens.end(), [pointer](const platform::Screen& screen) {
        return platform::containsPoint(screen.geometry, pointer);
    });
    if (holder != screens.end()) {
        return holder->availableGeometry;
    }
    if (activeScreen) {
        return activeScreen->availableGeometry;
    }
    return std::nullopt;
}

} // namespace

platform::Point panelOrigin(platform::Point pointer, platform::Size panelSize,
                            const std::vector<platform::Screen>& screens,
                            const std::optional<platform::Screen>& activeScreen)
{
    const double w = panelSize.width;
    const double h = panelSize.height;
    platform::Point origin{pointer.x - w * 0.5, pointer.y - h - gapBelowPointer};

    const auto area = usableAreaAt(pointer, screens, activeScreen);
    if (!area) {
        return origin;
    }
    if (origin.x < area->minX()) {
        origin.x = area->minX();
    }
    if (origin.x + w > area->maxX()) {
        origin.x = area->maxX() - w;
    }
    if (origin.y < area->minY()) {
        origin.y = area->minY();
    }
    if (origin.y + h > area->maxY()) {
        origin.y = area->maxY() - h;
    }
    return origin;
}
