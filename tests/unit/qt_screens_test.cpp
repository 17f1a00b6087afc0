#include "platform/qt_screens.h"

#include <gtest/gtest.h>

namespace {

using platform::fromQtPoint;
using platform::fromQtRect;

const QRect primary(0, 0, 1440, 900);

// Qt's y grows downwards from the primary screen's top; ours upwards from its bottom.
TEST(QtScreensTest, FlipsQtCoordinatesAroundThePrimaryScreensBottom)
{
    const platform::Rect right = fromQtRect(QRect(1440, 0, 1920, 1080), primary);
    EXPECT_EQ(right.minX(), 1440);
    EXPECT_EQ(right.minY(), -180);
    EXPECT_EQ(right.maxY(), 900);
    EXPECT_EQ(fromQtPoint(QPoint(720, 300), primary).y, 600);
    const QRect primaryOffRoot(1920, 100, 1440, 900);
    const QRect window(2300, 400, 320, 420);
    EXPECT_EQ(platform::toQtTopLeft(fromQtRect(window, primaryOffRoot), primaryOffRoot), window.topLeft());
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
