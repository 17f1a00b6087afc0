#include "platform/window_properties.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QWindow>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

// The desktop number that EWMH reserves for "all desktops".
constexpr std::uint32_t allDesktops = 0xFFFFFFFF;
// The source indication of a request from an ordinary application.
constexpr std::uint32_t normalApplicationSource = 1;

xcb_connection_t* connection()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

Display* display()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const std::string& name)
{
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace

void setOnAllDesktops(QWindow& window)
{
    xcb_connection_t* x = connection();
    if (!x) {
        return;
    }
    const xcb_atom_t desktop = internAtom(x, "_NET_WM_DESKTOP");
    if (desktop == XCB_ATOM_NONE) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    // The property covers a window the window manager will map; the request covers one it manages
    // already, or is still withdrawing when the window is shown again right after being hidden: it then
    // drops the property after it was set, but handles the request after the map.
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = id;
    request.type = desktop;
    request.data.data32[0] = allDesktops;
    request.data.data32[1] = normalApplicationSource;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    xcb_send_event(x, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(x);
}

void setWindowClass(QWindow& window, const QByteArray& instance, const QByteArray& windowClass)
{
    xcb_connection_t* x = connection();
    if (!x) {
        return;
    }
    // Two NUL-terminated strings, back to back.
    const QByteArray value = instance + '\0' + windowClass + '\0';
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()), XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(value.size()), value.constData());
    xcb_flush(x);
}

bool hasCompositor()
{
    xcb_connection_t* x = connection();
    Display* xlib = display();
    if (!x || !xlib) {
        return false;
    }
    // A compositing manager announces itself by owning this selection for the X screen it composites.
    const xcb_atom_t selection = internAtom(x, "_NET_WM_CM_S" + std::to_string(DefaultScreen(xlib)));
    if (selection == XCB_ATOM_NONE) {
        return false;
    }
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
        xcb_get_selection_owner_reply(x, xcb_get_selection_owner(x, selection), nullptr), &std::free);
    return reply && reply->owner != XCB_WINDOW_NONE;
}

} // namespace platform
