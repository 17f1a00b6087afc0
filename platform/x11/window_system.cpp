#include "platform/window_system.h"

#include "platform/x11/connection.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <memory>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace platform {

namespace x11 {

struct Ewmh
{
    xcb_ewmh_connection_t connection{};
    int screen = 0;

    ~Ewmh() { xcb_ewmh_connection_wipe(&connection); }
};

} // namespace x11

namespace {

// The desktop number that EWMH reserves for "all desktops".
constexpr std::uint32_t allDesktops = 0xFFFFFFFF;

bool isOurWindow(WId window)
{
    // handle() first: winId() would create a native window for one that has none.
    return std::ranges::any_of(QGuiApplication::allWindows(),
                               [window](QWindow* ours) { return ours->handle() && ours->winId() == window; });
}

/// Whether a live EWMH window manager runs that takes `_NET_ACTIVE_WINDOW` requests. A manager that has
/// exited leaves its check window id behind on the root, pointing nowhere.
bool hasActiveWindowSupport(x11::Ewmh& x11Ewmh)
{
    auto* ewmh = &x11Ewmh.connection;
    const auto checkWindowOf = [ewmh](xcb_window_t window) {
        xcb_window_t check = XCB_NONE;
        xcb_ewmh_get_supporting_wm_check_reply(ewmh, xcb_ewmh_get_supporting_wm_check(ewmh, window), &check, nullptr);
        return check;
    };
    const auto check = checkWindowOf(ewmh->screens[x11Ewmh.screen]->root);
    xcb_ewmh_get_atoms_reply_t supported;
    if (check == XCB_NONE || checkWindowOf(check) != check ||
        !xcb_ewmh_get_supported_reply(ewmh, xcb_ewmh_get_supported(ewmh, x11Ewmh.screen), &supported, nullptr)) {
        return false;
    }
    const bool found = std::count(supported.atoms, supported.atoms + supported.atoms_len, ewmh->_NET_ACTIVE_WINDOW);
    xcb_ewmh_get_atoms_reply_wipe(&supported);
    return found;
}

/// The window the user works in: `_NET_ACTIVE_WINDOW` under an EWMH window manager, else the input focus.
std::optional<WId> activeWindow(x11::Ewmh* ewmh)
{
    xcb_window_t active = XCB_NONE;
    if (ewmh && hasActiveWindowSupport(*ewmh)) {
        xcb_ewmh_get_active_window_reply(&ewmh->connection, xcb_ewmh_get_active_window(&ewmh->connection, ewmh->screen),
                                         &active, nullptr);
    } else if (ewmh) {
        auto* connection = ewmh->connection.connection;
        const x11::Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        active = focus ? focus->focus : XCB_NONE;
    }
    return active == XCB_NONE || active == XCB_INPUT_FOCUS_POINTER_ROOT ? std::nullopt : std::optional<WId>(active);
}

} // namespace

WindowSystem::WindowSystem()
{
    auto* connection = x11::applicationConnection();
    auto ewmh = std::make_unique<x11::Ewmh>();
    if (!connection ||
        !xcb_ewmh_init_atoms_replies(&ewmh->connection, xcb_ewmh_init_atoms(connection, &ewmh->connection), nullptr)) {
        // A failed init has freed the screens already; the wipe must not free them again.
        ewmh->connection = {};
        return;
    }
    x11::exitWhenTheConnectionBreaks();
    const auto root = x11::applicationRoot();
    while (ewmh->screen + 1 < ewmh->connection.nb_screens && ewmh->connection.screens[ewmh->screen]->root != root) {
        ++ewmh->screen;
    }
    m_ewmh = std::move(ewmh);
    // Qt already selects property changes on the root window; the filter only reads them.
    QCoreApplication::instance()->installNativeEventFilter(this);
    noteActiveWindow();
}

WindowSystem::~WindowSystem()
{
    if (m_ewmh) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void WindowSystem::setOnAllDesktops(QWindow& window) const
{
    if (!m_ewmh) {
        return;
    }
    auto& ewmh = m_ewmh->connection;
    const auto id = static_cast<xcb_window_t>(window.winId());
    // The property covers a window the window manager will map; the request covers one it manages already,
    // or is still withdrawing when the window is shown again right after being hidden: it then drops the
    // property after it was set, but handles the request after the map.
    xcb_ewmh_set_wm_desktop(&ewmh, id, allDesktops);
    xcb_ewmh_request_change_wm_desktop(&ewmh, m_ewmh->screen, id, allDesktops, XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
    xcb_flush(ewmh.connection);
}

bool WindowSystem::isCompositingActive() const
{
    if (!m_ewmh) {
        return false;
    }
    // A compositing manager announces itself by owning the selection _NET_WM_CM_S<screen>.
    auto& ewmh = m_ewmh->connection;
    xcb_window_t owner = XCB_NONE;
    return xcb_ewmh_get_wm_cm_owner_reply(&ewmh, xcb_ewmh_get_wm_cm_owner(&ewmh, m_ewmh->screen), &owner, nullptr) &&
           owner != XCB_NONE;
}

void WindowSystem::forceActiveWindow(WId window) const
{
    if (!m_ewmh) {
        return;
    }
    auto& ewmh = m_ewmh->connection;
    const auto id = static_cast<xcb_window_t>(window);
    if (hasActiveWindowSupport(*m_ewmh)) {
        // A pager's request: the user chose to go back there, so focus-stealing prevention, which weighs
        // requests of applications, must not refuse it.
        xcb_ewmh_request_change_active_window(&ewmh, m_ewmh->screen, id, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER,
                                              XCB_CURRENT_TIME, XCB_NONE);
    } else {
        // Unchecked: a window that has gone makes an error that nobody waits for.
        xcb_set_input_focus(ewmh.connection, XCB_INPUT_FOCUS_POINTER_ROOT, id, XCB_CURRENT_TIME);
    }
    xcb_flush(ewmh.connection);
}

bool WindowSystem::isOwnWindowActive() const
{
    const auto active = activeWindow(m_ewmh.get());
    return active && isOurWindow(*active);
}

std::optional<WId> WindowSystem::foreignActiveWindow() const
{
    const auto active = activeWindow(m_ewmh.get());
    return active && !isOurWindow(*active) ? active : m_lastForeignWindow;
}

bool WindowSystem::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
    if (eventType == "xcb_generic_event_t" && (notify->response_type & ~0x80) == XCB_PROPERTY_NOTIFY &&
        notify->window == m_ewmh->connection.screens[m_ewmh->screen]->root &&
        notify->atom == m_ewmh->connection._NET_ACTIVE_WINDOW) {
        noteActiveWindow();
    }
    return false;
}

void WindowSystem::noteActiveWindow()
{
    const auto active = activeWindow(m_ewmh.get());
    if (active && !isOurWindow(*active)) {
        m_lastForeignWindow = active;
    }
}

} // namespace platform
