#include "tests/support/sway_compositor.h"

#include <cstdlib>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// nobody, which every Debian system has.
constexpr uid_t unprivilegedUser = 65534;

} // namespace

std::unique_ptr<SwayCompositor> SwayCompositor::start()
{
    auto result = std::make_unique<SwayCompositor>();
    const auto& directory = result->m_directory.path();
    if (directory.empty()) {
        return nullptr;
    }
    const auto config = directory + "/config";
    // No bar, no XWayland, nothing bound: a bare desktop with one output, where new windows take the focus.
    // Once it listens it names its sockets, and it ends itself and goes once this process has gone, even one
    // that aborted before it could end sway.
    std::ofstream(config) << "xwayland disable\n"
                             "output HEADLESS-1 resolution 1280x720\n"
                             "default_border none\n"
                             "exec sh -c 'echo $WAYLAND_DISPLAY $SWAYSOCK >"
                          << directory << "/sockets.tmp; mv " << directory << "/sockets.tmp " << directory
                          << "/sockets; while [ -d /proc/" << getpid() << " ]; do sleep 1; done; swaymsg exit; rm -rf "
                          << directory << "'\n";
    // sway refuses to run as root: root hands it to nobody, anyone else runs it as themselves.
    const bool isRoot = geteuid() == 0;
    if ((isRoot && chown(directory.c_str(), unprivilegedUser, unprivilegedUser) != 0) ||
        chmod(directory.c_str(), 0700) != 0) {
        return nullptr;
    }
    std::vector<std::string> command{"sway", "-c", config};
    if (isRoot) {
        const auto user = std::to_string(unprivilegedUser);
        command.insert(command.begin(), {"setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups"});
    }
    const auto path = std::getenv("PATH");
    result->m_sway = std::make_unique<ChildProcess>(
        std::move(command), ChildProcess::Output::Logged, result->logFile(),
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + directory, "HOME=" + directory, "WLR_BACKENDS=headless",
                                 "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_HEADLESS_OUTPUTS=1",
                                 std::string("PATH=") + (path ? path : "/usr/bin:/bin")});
    // 30 s for busy machines; sway ending early ends the wait.
    std::string socket, ipcSocket;
    const auto listens = [&] {
        return (std::ifstream(directory + "/sockets") >> socket >> ipcSocket) || !result->m_sway->isRunning();
    };
    if (!pollUntil(listens, std::chrono::seconds(30)) || !result->m_sway->isRunning()) {
        return nullptr;
    }
    socket = directory + "/" + socket;
    // An absolute path needs no XDG_RUNTIME_DIR, which would be another user's directory to Qt.
    setenv("WAYLAND_DISPLAY", socket.c_str(), 1);
    // For swaymsg, which would otherwise look for sway's socket in the runtime directory.
    setenv("SWAYSOCK", ipcSocket.c_str(), 1);
    unsetenv("DISPLAY");
    return result;
}
