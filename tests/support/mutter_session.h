#pragma once

#include "tests/support/child_process.h"
#include "tests/support/session_bus.h"
#include "tests/support/temporary_folder.h"

#include <memory>
#include <string>

/// GNOME's compositor, headless, on a private session bus and runtime folder, with the XWayland it starts
/// at once; both end with the object.
class MutterSession
{
public:
    /// Starts Mutter with one 1280x800 virtual monitor and points this process's DBUS_SESSION_BUS_ADDRESS,
    /// XDG_RUNTIME_DIR, WAYLAND_DISPLAY, DISPLAY and XAUTHORITY at it, for its clients; null if it cannot start.
    static std::unique_ptr<MutterSession> start();

private:
    // Declared in the order they start: they end in reverse.
    TemporaryFolder m_runtimeDirectory{"velmora-mutter-"};
    std::unique_ptr<SessionBus> m_bus;
    std::unique_ptr<ChildProcess> m_mutter;
};
