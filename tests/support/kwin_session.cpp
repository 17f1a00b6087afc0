#include "tests/support/kwin_session.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace std::chrono_literals;

constexpr const char* socketName = "velmora-kwin";

/// Whether the GlobalShortcuts portal answers on the session bus, started by the bus if need be.
bool portalAnswers()
{
    ChildProcess query({"dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.portal.Desktop",
                        "/org/freedesktop/portal/desktop", "org.freedesktop.DBus.Properties.Get",
                        "string:org.freedesktop.portal.GlobalShortcuts", "string:version"},
                       ChildProcess::Output::Piped);
    bool answered = false;
    for (std::string line = query.readLine(); !line.empty(); line = query.readLine()) {
        answered = answered || line.find("uint32") != std::string::npos;
    }
    return answered;
}

} // namespace

std::unique_ptr<KWinSession> KWinSession::start(const std::vector<std::string>& grantedPrograms,
                                                const std::function<bool(const std::string& home)>& prepareHome)
{
    auto result = std::make_unique<KWinSession>();
    const auto &runtime = result->m_runtimeDirectory.path(), &home = result->m_home.path();
    if (runtime.empty() || home.empty()) {
        return nullptr;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    // The packaged binary carries a file capability that a container may not grant; a copy carries none. KWin's
    // platform plugin checks the name.
    const fs::path kwin = fs::path(home) / "bin" / "kwin_wayland";
    fs::create_directories(kwin.parent_path(), error);
    fs::copy_file("/usr/bin/kwin_wayland", kwin, error);
    const fs::path applications = fs::path(home) / ".local/share/applications";
    fs::create_directories(applications, error);
    for (std::size_t index = 0; index < grantedPrograms.size(); ++index) {
        std::ofstream(applications / ("velmora-test-" + std::to_string(index) + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Velmora test program\nNoDisplay=true\nExec="
            << grantedPrograms[index]
            << "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management\n";
    }
    if (error || !prepareHome(home)) {
        return nullptr;
    }
    // The bus starts the portals with this environment: KDE's backend, on Qt's wayland platform, on this KWin.
    for (const char* variable : {"DISPLAY", "XAUTHORITY", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        unsetenv(variable);
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("WAYLAND_DISPLAY", socketName, 1);
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    result->m_bus = SessionBus::start(SessionBus::Services::Installed);
    if (!result->m_bus) {
        return nullptr;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", result->m_bus->address().c_str(), 1);
    result->m_kwin = std::make_unique<ChildProcess>(std::vector<std::string>{kwin.string(), "--virtual", "--width",
                                                                             "1280", "--height", "800",
                                                                             "--no-lockscreen", "--socket", socketName},
                                                    ChildProcess::Output::Logged, result->logFile());
    const fs::path socket = fs::path(runtime) / socketName;
    const bool listens = pollUntil([&] { return fs::exists(socket) || !result->m_kwin->isRunning(); }, 60s) &&
                         result->m_kwin->isRunning();
    // The first call starts the portals, which may take a while on a busy machine.
    return listens && pollUntil(portalAnswers, 120s) ? std::move(result) : nullptr;
}
