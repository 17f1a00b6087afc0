#include "platform/x11/display.h"

#include <QGuiApplication>

#include <cassert>

#include <X11/Xlib.h>

namespace platform::x11 {

namespace {

// Xlib's error handler is a process-wide function without user data, so the one active trap keeps its
// state here.
struct TrapState
{
    bool active = false;
    unsigned long firstSerial = 0;
    bool failed = false;
    XErrorHandler previousHandler = nullptr;
};

TrapState& trapState()
{
    static TrapState state;
    return state;
}

int trapError(Display* display, XErrorEvent* error)
{
    auto& state = trapState();
    // Errors of requests made before the trap belong to whoever made them.
    if (error->serial < state.firstSerial) {
        return state.previousHandler ? state.previousHandler(display, error) : 0;
    }
    state.failed = true;
    return 0;
}

} // namespace

_XDisplay* applicationDisplay()
{
    const auto* application = qGuiApp;
    if (!application) {
        return nullptr;
    }
    const auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

ErrorTrap::ErrorTrap(_XDisplay* display) : m_display(display)
{
    auto& state = trapState();
    assert(!state.active && "X error traps do not nest");
    state = {true, NextRequest(display), false, XSetErrorHandler(trapError)};
}

ErrorTrap::~ErrorTrap()
{
    // Errors still in flight must reach this trap, not the handler restored below.
    XSync(m_display, False);
    auto& state = trapState();
    XSetErrorHandler(state.previousHandler);
    state = {};
}

bool ErrorTrap::failed()
{
    XSync(m_display, False);
    return trapState().failed;
}

} // namespace platform::x11
