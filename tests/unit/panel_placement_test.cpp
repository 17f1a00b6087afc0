#include "app/panel_placement.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using platform::Screen;

// In Qt's coordinates, y down. A laptop of 1440 x 900 with a menu bar of 25 at the top and a dock of 80 at
// the bottom; to its right a monitor of 1920 x 1080 with a bar of 25 at the top, the bottoms aligned.
TEST(PanelPlacementTest, CentresThePanelTenBelowThePointerInsideTheUsableAreaOfTheScreenUnderIt)
{
    const Screen laptop{{0, 0, 1440, 900}, {0, 25, 1440, 795}};
    const Screen monitor{{1440, -180, 1920, 1080}, {1440, -155, 1920, 1055}};
    const Screen small{{0, 0, 200, 300}, {10, 30, 180, 250}};
    // Name, pointer, screens, active screen, where the panel's top-left goes.
    const std::tuple<const char*, std::optional<QPoint>, std::vector<Screen>, std::optional<Screen>, QPoint> cases[] = {
        {"near the bottom-left: pushed right and up", QPoint(100, 600), {laptop}, std::nullopt, {0, 400}},
        {"in the menu bar: flush with the area's right and top", QPoint(1400, 10), {laptop}, std::nullopt, {1120, 25}},
        {"on the second screen", QPoint(2000, 400), {laptop, monitor}, std::nullopt, {1840, 410}},
        {"outside every screen: the active screen", QPoint(-500, 400), {laptop}, monitor, {1440, 410}},
        {"no screens at all: unclamped", QPoint(100, 600), {}, std::nullopt, {-60, 610}},
        {"bigger than the area: flush with its right and top edges",
         QPoint(100, 150),
         {small},
         std::nullopt,
         {-130, 30}},
        {"on the edge shared by two screens: the right-hand one",
         QPoint(1440, 400),
         {laptop, monitor},
         laptop,
         {1440, 410}},
        {"on the last column of the left-hand screen: that one",
         QPoint(1439, 400),
         {laptop, monitor},
         monitor,
         {1120, 400}},
        {"on the top row", QPoint(720, 0), {laptop}, monitor, {560, 25}},
        {"on the bottom row", QPoint(720, 899), {laptop}, monitor, {560, 400}},
        {"just below the bottom row: the active screen", QPoint(720, 900), {laptop}, monitor, {1440, 480}},
        {"a pointer nobody knows: centred on the active screen", std::nullopt, {laptop, monitor}, monitor, {2240, 162}},
    };
    for (const auto& [name, pointer, screens, activeScreen, topLeft] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(panelTopLeft(pointer, QSize(320, 420), screens, activeScreen), topLeft);
    }
}

} // namespace
