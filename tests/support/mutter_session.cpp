#include "tests/support/mutter_session.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <unistd.h>

namespace {

// Run by Mutter once its Wayland socket and XWayland accept clients, with their variables set: it reports
// them, then lives as long as Mutter does, which ends when it ends.
constexpr const char* reporter = "echo \"velmora-session $WAYLAND_DISPLAY $DISPLAY $XAUTHORITY\"; "
                                 "while kill -0 $PPID 2>/dev/null; do sleep 1; done";

} // namespace

std::unique_ptr<MutterSession> MutterSession::start()
{
    auto result = std::make_unique<MutterSession>();
    const auto& folder = result->m_runtimeDirectory.path();
    if (folder.empty()) {
        return nullptr;
    }
    // Mutter's XWayland refuses a socket folder that is not world-writable, which an X server started as root
    // under umask 022 (KWin's XWayland) leaves behind: 1777 is the folder's usual mode.
    if (::geteuid() == 0) {
        std::error_code ignored;
        std::filesystem::permissions("/tmp/.X11-unix", std::filesystem::perms::all | std::filesystem::perms::sticky_bit,
                                     ignored);
    }
    result->m_bus = SessionBus::start();
    if (!result->m_bus) {
        return nullptr;
    }
    // Without the displays it would otherwise nest in, on its own bus and runtime folder.
    result->m_mutter = std::make_unique<ChildProcess>(
        std::vector<std::string>{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "XAUTHORITY",
                                 "DBUS_SESSION_BUS_ADDRESS=" + result->m_bus->address(), "XDG_RUNTIME_DIR=" + folder,
                                 "mutter", "--wayland", "--headless", "--virtual-monitor", "1280x800", "--", "sh", "-c",
                                 reporter},
        ChildProcess::Output::Piped);
    // Mutter's stdout is the reporter's; an empty line is the pipe closed, Mutter gone.
    for (std::string line = result->m_mutter->readLine(); !line.empty(); line = result->m_mutter->readLine()) {
        std::istringstream words(line);
        std::string marker, waylandDisplay, x11Display, xauthority;
        words >> marker >> waylandDisplay >> x11Display >> xauthority;
        if (marker == "velmora-session") {
            if (xauthority.empty()) {
                return nullptr;
            }
            setenv("DBUS_SESSION_BUS_ADDRESS", result->m_bus->address().c_str(), 1);
            setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
            setenv("WAYLAND_DISPLAY", waylandDisplay.c_str(), 1);
            setenv("DISPLAY", x11Display.c_str(), 1);
            setenv("XAUTHORITY", xauthority.c_str(), 1);
            return result;
        }
    }
    return nullptr;
}
