#include "platform/qt_screens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <cmath>

namespace platform {

namespace {

// y of the primary screen's bottom edge in Qt's coordinates: the line y = 0 of ours.
int bottomEdge(const QRect& primary)
{
    return primary.y() + primary.height();
}

QRect primaryGeometry()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry() : QRect();
}

Screen toScreen(const QScreen& screen, const QRect& primary)
{
    return {fromQtRect(screen.geometry(), primary), fromQtRect(screen.availableGeometry(), primary)};
}

} // namespace

Rect fromQtRect(const QRect& rect, const QRect& primary)
{
    return {{static_cast<double>(rect.x() - primary.x()),
             static_cast<double>(bottomEdge(primary) - (rect.y() + rect.height()))},
            {static_cast<double>(rect.width()), static_cast<double>(rect.height())}};
}

Point fromQtPoint(const QPoint& point, const QRect& primary)
{
    // The pixel row y covers [y, y + 1) downwards, that is (H - y - 1, H - y] upwards: its top edge is
    // the one that the half-open rule of containsPoint counts as inside.
    return {static_cast<double>(point.x() - primary.x()), static_cast<double>(bottomEdge(primary) - point.y())};
}

QPoint toQtTopLeft(const Rect& rect, const QRect& primary)
{
    return {static_cast<int>(std::lround(rect.minX())) + primary.x(),
            bottomEdge(primary) - static_cast<int>(std::lround(rect.maxY()))};
}

std::vector<Screen> QtScreens::screens() const
{
    const QRect primary = primaryGeometry();
    std::vector<Screen> result;
    if (const QScreen* first = QGuiApplication::primaryScreen()) {
        result.push_back(toScreen(*first, primary));
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) {
            result.push_back(toScreen(*screen, primary));
        }
    }
    return result;
}

std::optional<Screen> QtScreens::activeScreen() const
{
    const QWindow* focus = QGuiApplication::focusWindow();
    const QScreen* screen = focus ? focus->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return std::nullopt;
    }
    return toScreen(*screen, primaryGeometry());
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
