#include "bench/x_client.h"

#include <algorithm>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

namespace {

// A window may be gone by the time we ask about it; that is no reason to end the benchmark.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

std::unique_ptr<XClient> XClient::open()
{
    XSetErrorHandler(ignoreErrors);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return nullptr;
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return nullptr;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    return std::unique_ptr<XClient>(new XClient(display));
}

XClient::~XClient()
{
    XCloseDisplay(m_display);
}

void XClient::pressHotKey()
{
    const KeyCode keys[] = {XKeysymToKeycode(m_display, XK_Super_L), XKeysymToKeycode(m_display, XK_Shift_L),
                            XKeysymToKeycode(m_display, XK_c)};
    for (const KeyCode key : keys) {
        XTestFakeKeyEvent(m_display, key, True, CurrentTime);
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        XTestFakeKeyEvent(m_display, *key, False, CurrentTime);
    }
    XFlush(m_display);
}

void XClient::movePointer(int x, int y)
{
    XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
    XSync(m_display, False);
}

void XClient::discardEvents()
{
    XSync(m_display, True);
}

bool XClient::hasSystemTray() const
{
    const Atom selection = XInternAtom(m_display, "_NET_SYSTEM_TRAY_S0", False);
    return XGetSelectionOwner(m_display, selection) != None;
}

bool XClient::waitForMap(int width, int height, std::chrono::milliseconds timeout,
                         std::optional<std::chrono::milliseconds> pressEvery)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    auto nextPress = Clock::now();
    while (Clock::now() < deadline) {
        if (pressEvery && Clock::now() >= nextPress) {
            pressHotKey();
            nextPress = Clock::now() + *pressEvery;
        }
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type != MapNotify) {
                continue;
            }
            XWindowAttributes attributes;
            if (XGetWindowAttributes(m_display, event.xmap.window, &attributes) && attributes.width == width &&
                attributes.height == height) {
                return true;
            }
        }
        const auto wait = std::min(deadline, pressEvery ? nextPress : deadline) - Clock::now();
        pollfd request{ConnectionNumber(m_display), POLLIN, 0};
        poll(&request, 1,
             static_cast<int>(std::max<long>(0, std::chrono::ceil<std::chrono::milliseconds>(wait).count())));
    }
    return false;
}
