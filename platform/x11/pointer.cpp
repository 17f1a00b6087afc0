#include "platform/x11/x11_backend.h"

#include "platform/x11/connection.h"

#include <xcb/xcb.h>

namespace platform {

bool x11::isPointerOverX11Window()
{
    auto* connection = applicationConnection();
    if (!connection) {
        return false;
    }
    const Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, applicationRoot()), nullptr));
    if (!pointer || pointer->child == XCB_NONE) {
        return false;
    }
    // Mutter's guard window, input-only and as large as the screen, is under the pointer before it first enters
    // an X11 window.
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, pointer->child), nullptr));
    return attributes && attributes->_class != XCB_WINDOW_CLASS_INPUT_ONLY;
}

} // namespace platform
