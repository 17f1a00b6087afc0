#include "app/panel_placement.h"

#include <algorithm>

namespace {

constexpr double gapBelowPointer = 10;

std::optional<platform::Rect> usableAreaAt(platform::Point mouse, const std::vector<platform::Screen>& screens,
                                           const std::optional<platform::Screen>& mainScreen)
{
    const auto holder = std::find_if(screens.begin(), screens.end(), [mouse](const platform::Screen& screen) {
        return platform::mouseInRect(mouse, screen.frame);
    });
    if (holder != screens.end()) {
        return holder->visibleFrame;
    }
    if (mainScreen) {
        return mainScreen->visibleFrame;
    }
    return std::nullopt;
}

} // namespace

platform::Point panelOrigin(platform::Point mouse, platform::Size panelSize,
                            const std::vector<platform::Screen>& screens,
                            const std::optional<platform::Screen>& mainScreen)
{
    const double w = panelSize.width;
    const double h = panelSize.height;
    platform::Point origin{mouse.x - w * 0.5, mouse.y - h - gapBelowPointer};

    const auto area = usableAreaAt(mouse, screens, mainScreen);
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
