#include "platform/x11/window_focus.h"

#include "platform/x11/display.h"

#include <QByteArray>
#include <QCoreApplication>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <xcb/xproto.h>

namespace platform::x11 {

namespace {

struct XFreeDeleter
{
    void operator()(unsigned char* data) const { XFree(data); }
};

/// A property of 32-bit items of the given type; empty when it is missing, of another type or format, or
/// the window has gone. Another client wrote it: it is checked, never trusted.
std::vector<unsigned long> longProperty(Display* display, Window window, const char* name, Atom type)
{
    // Enough for any window manager's list of supported hints.
    constexpr long maxItems = 4096;
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;
    ErrorTrap trap(display);
    const int status = XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, maxItems, False,
                                          type, &actualType, &actualFormat, &count, &bytesAfter, &data);
    const std::unique_ptr<unsigned char, XFreeDeleter> owner(data);
    if (trap.failed() || status != Success || actualType != type || actualFormat != 32 || !data) {
        return {};
    }
    // Xlib hands format-32 items over as longs, whatever the size of a long.
    const auto* items = reinterpret_cast<const unsigned long*>(data);
    return {items, items + count};
}

/// Whether a live EWMH window manager runs that takes `_NET_ACTIVE_WINDOW` requests. A manager that has
/// exited leaves its check window id behind on the root, pointing nowhere.
bool hasActiveWindowSupport(Display* display)
{
    const auto root = DefaultRootWindow(display);
    const auto check = longProperty(display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check.empty() || longProperty(display, check.front(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW) != check) {
        return false;
    }
    const auto supported = longProperty(display, root, "_NET_SUPPORTED", XA_ATOM);
    return std::find(supported.begin(), supported.end(), XInternAtom(display, "_NET_ACTIVE_WINDOW", False)) !=
           supported.end();
}

} // namespace

std::optional<WindowId> activeWindow()
{
    auto* display = applicationDisplay();
    if (!display) {
        return std::nullopt;
    }
    if (hasActiveWindowSupport(display)) {
        const auto active = longProperty(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
        if (active.empty() || active.front() == None) {
            return std::nullopt;
        }
        return static_cast<WindowId>(active.front());
    }
    Window focus = None;
    int revertTo = 0;
    XGetInputFocus(display, &focus, &revertTo);
    if (focus == None || focus == PointerRoot) {
        return std::nullopt;
    }
    return static_cast<WindowId>(focus);
}

void activateWindow(WindowId window)
{
    auto* display = applicationDisplay();
    if (!display) {
        return;
    }
    if (!hasActiveWindowSupport(display)) {
        ErrorTrap trap(display);
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        return;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    // Source 2, a pager's request: the user chose to go back there, so focus-stealing prevention, which
    // weighs requests of applications, must not refuse it.
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = None;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(display);
}

ForeignWindowTracker::ForeignWindowTracker(std::function<bool(WindowId)> isOurs) : m_isOurs(std::move(isOurs))
{
    auto* display = applicationDisplay();
    if (!display || !QCoreApplication::instance()) {
        return;
    }
    // Qt already selects property changes on the root window; the filter only reads them.
    m_activeWindowAtom = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    m_root = DefaultRootWindow(display);
    QCoreApplication::instance()->installNativeEventFilter(this);
    update();
}

ForeignWindowTracker::~ForeignWindowTracker()
{
    if (m_activeWindowAtom != 0) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool ForeignWindowTracker::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY) {
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        if (notify->window == m_root && notify->atom == m_activeWindowAtom) {
            update();
        }
    }
    return false;
}

void ForeignWindowTracker::update()
{
    const auto active = activeWindow();
    if (active && !m_isOurs(*active)) {
        m_lastForeignWindow = active;
    }
}

} // namespace platform::x11
