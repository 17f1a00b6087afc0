#include "platform/qt_screens.h"

#include <gtest/gtest.h>

namespace {

using platform::fromQtPoint;
using platform::fromQtRect;
using platform::toQtTopLeft;

const QRect primary(0, 0, 1440, 900);

TEST(QtScreensTest, TurnsQtCoordinatesUpsideDownAroundThePrimaryScreensBottomEdgeAndBack)
{
    // A 25 high bar at the top and an 80 high dock at the bottom leave this area.
    const platform::Rect usable = fromQtRect(QRect(0, 25, 1440, 795), primary);
    EXPECT_EQ(usable.minY(), 80);
    EXPECT_EQ(usable.maxY(), 875);

    // A taller screen to the right, top-aligned in Qt, reaches below the primary screen.
    const platform::Rect right = fromQtRect(QRect(1440, 0, 1920, 1080), primary);
    EXPECT_EQ(right.minX(), 1440);
    EXPECT_EQ(right.minY(), -180);
    EXPECT_EQ(right.maxY(), 900);

    // The panel's origin (560, 170) under a pointer at (720, 600) is 10 below the pointer in Qt's terms.
    EXPECT_EQ(fromQtPoint(QPoint(720, 300), primary).y, 600);
    EXPECT_EQ(toQtTopLeft({{560, 170}, {320, 420}}, primary), QPoint(560, 310));
    const QRect primaryOffRoot(1920, 100, 1440, 900);
    const QRect window(2300, 400, 320, 420);
    EXPECT_EQ(toQtTopLeft(fromQtRect(window, primaryOffRoot), primaryOffRoot), window.topLeft());
}

TEST(QtScreensTest, APointerOnTheTopOrBottomPixelRowIsOnTheScreen)
{
    const platform::Rect frame = fromQtRect(primary, primary);
    EXPECT_TRUE(platform::containsPoint(frame, fromQtPoint(QPoint(0, 0), primary)));
    EXPECT_TRUE(platform::containsPoint(frame, fromQtPoint(QPoint(1439, 899), primary)));
    EXPECT_FALSE(platform::containsPoint(frame, fromQtPoint(QPoint(1440, 899), primary)));
    EXPECT_FALSE(platform::containsPoint(frame, fromQtPoint(QPoint(0, 900), primary)));
}

} // namespace
