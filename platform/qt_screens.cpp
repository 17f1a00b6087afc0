#include "platform/qt_screens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <cmath>

namespace platform {

namespace {

QRect primaryGeometry()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry() : QRect();
}

Screen toScreen(const QScreen& screen)
{
    const QRect primary = primaryGeometry();
    return {fromQtRect(screen.geometry(), primary), fromQtRect(screen.availableGeometry(), primary)};
}

} // namespace

Rect fromQtRect(const QRect& rect, const QRect& primary)
{
    // Qt's y of the rectangle's bottom edge is y + height, where the pixel row bottom() ends.
    return {fromQtPoint({rect.x(), rect.y() + rect.height()}, primary),
            {static_cast<double>(rect.width()), static_cast<double>(rect.height())}};
}

Point fromQtPoint(const QPoint& point, const QRect& primary)
{
    // The primary screen's bottom edge, in Qt's coordinates, is our line y = 0. The pixel row y covers
    // [y, y + 1) downwards, that is (H - y - 1, H - y] upwards: its top edge is the one that the half-open
    // rule of containsPoint counts as inside.
    return {static_cast<double>(point.x() - primary.x()),
            static_cast<double>(primary.y() + primary.height() - point.y())};
}

QPoint toQtTopLeft(const Rect& rect, const QRect& primary)
{
    return {static_cast<int>(std::lround(rect.minX())) + primary.x(),
            primary.y() + primary.height() - static_cast<int>(std::lround(rect.maxY()))};
}

std::vector<Screen> QtScreens::screens() const
{
    std::vector<Screen> result;
    for (const QScreen* screen : QGuiApplication::screens()) {
        // The primary screen first, the others in Qt's order.
        result.insert(screen == QGuiApplication::primaryScreen() ? result.begin() : result.end(), toScreen(*screen));
    }
    return result;
}

std::optional<Screen> QtScreens::activeScreen() const
{
    const QWindow* focus = QGuiApplication::focusWindow();
    const QScreen* screen = focus ? focus->screen() : QGuiApplication::primaryScreen();
    return screen ? std::optional(toScreen(*screen)) : std::nullopt;
}

Point QtScreens::pointerPosition() const
{
    return fromQtPoint(QCursor::pos(), primaryGeometry());
}

QPoint QtScreens::topLeftInQt(const Rect& rect) const
{
    return toQtTopLeft(rect, primaryGeometry());
}

} // namespace platform
