#pragma once

#include "tests/support/child_process.h"
#include "tests/support/session_bus.h"
#include "tests/support/temporary_folder.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

/// Plasma's compositor, headless (`kwin_wayland --virtual`, one 1280x800 screen), as root, with a private session
/// bus that starts the desktop portals (xdg-desktop-portal with KDE's backend) on demand, its own runtime folder
/// and a fresh HOME; all end with the object.
class KWinSession
{
public:
    /// Starts KWin and the portals, granting KWin's restricted protocols to `grantedPrograms` (absolute paths of
    /// compiled programs) by desktop entries in the HOME, and points this process's HOME, XDG_RUNTIME_DIR,
    /// WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS and XDG_CURRENT_DESKTOP at it; null if it cannot start, or
    /// `prepareHome` fails. `prepareHome` runs before KWin starts, which reads the desktop entries there at once
    /// and notices later ones only some time after.
    static std::unique_ptr<KWinSession> start(const std::vector<std::string>& grantedPrograms,
                                              const std::function<bool(const std::string& home)>& prepareHome);
    KWinSession(const KWinSession&) = delete;
    KWinSession& operator=(const KWinSession&) = delete;
    KWinSession() = default;

    [[nodiscard]] const std::string& home() const { return m_home.path(); }
    /// Where KWin writes what it reports, for a test that fails.
    [[nodiscard]] std::string logFile() const { return m_home.path() + "/kwin.log"; }

private:
    // Declared in the order they start: they end in reverse.
    TemporaryFolder m_runtimeDirectory{"velmora-kwin-run-"};
    TemporaryFolder m_home{"velmora-kwin-home-"};
    std::unique_ptr<SessionBus> m_bus;
    std::unique_ptr<ChildProcess> m_kwin;
};
