#include "app/panel_placement.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using platform::Point;
using platform::Screen;

// 1440 x 900 with the bottom 80 and the top 25 taken by a dock and a menu bar.
const Screen laptop{{{0, 0}, {1440, 900}}, {{0, 80}, {1440, 795}}};
// To the right of the laptop, its top 25 taken.
const Screen monitor{{{1440, 0}, {1920, 1080}}, {{1440, 0}, {1920, 1055}}};

// Centred ten below the pointer, and pushed up and right from a bar at the bottom-left, on a real desktop.
TEST(PanelPlacementTest, PlacesThePanelUnderThePointerInsideTheUsableArea)
{
    const Screen small{{{0, 0}, {200, 300}}, {{10, 20}, {180, 250}}};
    // Name, pointer, screens, active screen, where the panel goes.
    const std::tuple<const char*, Point, std::vector<Screen>, std::optional<Screen>, Point> cases[] = {
        {"on the shared edge: the right-hand screen", {1440, 500}, {laptop, monitor}, laptop, {1440, 70}},
        {"on the top edge: inside", {720, 900}, {laptop}, std::nullopt, {560, 455}},
        {"outside every screen: the active screen", {-500, 500}, {laptop}, monitor, {1440, 70}},
        {"no screens at all: unclamped", {100, 300}, {}, std::nullopt, {-60, -130}},
        {"bigger than the area: flush with its right and top edges", {100, 150}, {small}, std::nullopt, {-130, -150}},
    };
    for (const auto& [name, pointer, screens, activeScreen, expected] : cases) {
        SCOPED_TRACE(name);
        const Point origin = panelOrigin(pointer, {320, 420}, screens, activeScreen);
        EXPECT_EQ(std::pair(origin.x, origin.y), std::pair(expected.x, expected.y));
    }
}

} // namespace
