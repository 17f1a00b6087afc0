#include "platform/window_properties.h"

#include "platform/x11/display.h"

#include <QByteArray>
#include <QWindow>

#include <string>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace platform {

namespace {

// The desktop number that EWMH reserves for "all desktops".
constexpr unsigned long allDesktops = 0xFFFFFFFF;
// The source indication of a request from an ordinary application.
constexpr long normalApplicationSource = 1;

} // namespace

void setOnAllDesktops(QWindow& window)
{
    Display* display = x11::applicationDisplay();
    if (!display) {
        return;
    }
    const Atom desktop = XInternAtom(display, "_NET_WM_DESKTOP", False);
    const auto id = static_cast<::Window>(window.winId());
    // The property covers a window the window manager will map; the request covers one it manages
    // already, or is still withdrawing when the window is shown again right after being hidden: it then
    // drops the property after it was set, but handles the request after the map.
    XChangeProperty(display, id, desktop, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&allDesktops), 1);
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = id;
    request.xclient.message_type = desktop;
    request.xclient.format = 32;
    request.xclient.data.l[0] = static_cast<long>(allDesktops);
    request.xclient.data.l[1] = normalApplicationSource;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureNotifyMask | SubstructureRedirectMask,
               &request);
    XFlush(display);
}

void setWindowClass(QWindow& window, const QByteArray& instance, const QByteArray& windowClass)
{
    Display* display = x11::applicationDisplay();
    if (!display) {
        return;
    }
    // Two NUL-terminated strings, back to back.
    const QByteArray value = instance + '\0' + windowClass + '\0';
    XChangeProperty(display, static_cast<::Window>(window.winId()), XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(value.constData()), static_cast<int>(value.size()));
    XFlush(display);
}

bool hasCompositor()
{
    Display* display = x11::applicationDisplay();
    if (!display) {
        return false;
    }
    // A compositing manager announces itself by owning this selection for the X screen it composites.
    const auto name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    return XGetSelectionOwner(display, XInternAtom(display, name.c_str(), False)) != None;
}

} // namespace platform
