#include "platform/x11/connection.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace platform::x11 {

xcb_connection_t* applicationConnection()
{
    const auto* application = qGuiApp;
    const auto* x11 = application ? application->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

std::uint32_t applicationRoot()
{
    auto* connection = applicationConnection();
    // The screen that $DISPLAY names, as Qt connected to it.
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    xcb_parse_display(nullptr, &host, &display, &screen);
    std::free(host);
    auto roots = connection ? xcb_setup_roots_iterator(xcb_get_setup(connection)) : xcb_screen_iterator_t{};
    for (; roots.rem > 0 && screen > 0; --screen) {
        xcb_screen_next(&roots);
    }
    return roots.rem > 0 ? roots.data->root : 0;
}

void exitWhenTheConnectionBreaks()
{
    // No exit handlers: other threads may still use what they would destroy.
    XSetIOErrorHandler([](Display*) -> int {
        std::fputs("The X11 connection broke. Did the X11 server die?\n", stderr);
        std::_Exit(1);
    });
}

} // namespace platform::x11
