#include "platform/qt_screens.h"

#include "platform/session.h"
#include "platform/x11/x11_backend.h"

#include <QCursor>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QScreen>
#include <QWindow>

namespace platform {

namespace {

Screen toScreen(const QScreen& screen)
{
    return {screen.geometry(), screen.availableGeometry()};
}

} // namespace

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

std::optional<QPoint> QtScreens::pointerPosition() const
{
    const bool onXWayland = QGuiApplication::platformName() == QLatin1String("xcb") &&
                            isWaylandSession(QProcessEnvironment::systemEnvironment());
    if (onXWayland && !x11::isPointerOverX11Window()) {
        return std::nullopt;
    }
    return QCursor::pos();
}

} // namespace platform
