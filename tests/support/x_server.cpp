#include "tests/support/x_server.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

/// Runs `command` through a shell that reports its process id before it execs the command; the pipe to
/// read the rest of its output from, null if it did not start.
FILE* spawn(const std::string& command)
{
    return popen(("echo $$; exec " + command).c_str(), "re");
}

std::string readLine(FILE* pipe)
{
    char line[32] = {};
    return pipe && std::fgets(line, sizeof line, pipe) ? std::string(line) : std::string();
}

void stop(FILE* pipe, const std::string& processId)
{
    if (pipe) {
        kill(std::atoi(processId.c_str()), SIGTERM);
        pclose(pipe);
    }
}

} // namespace

std::unique_ptr<XServer> XServer::start(WindowManager windowManager, int width, int height)
{
    std::unique_ptr<XServer> result(new XServer);
    // Xvfb writes the display number it chose once it accepts clients, or ends and closes the pipe.
    result->m_server = spawn("Xvfb -displayfd 1 -screen 0 " + std::to_string(width) + "x" + std::to_string(height) +
                             "x24 -nolisten tcp -noreset 2>/dev/null");
    result->m_serverId = readLine(result->m_server);
    const auto number = readLine(result->m_server);
    if (number.empty()) {
        return nullptr;
    }
    result->m_display = ":" + std::to_string(std::atoi(number.c_str()));
    setenv("DISPLAY", result->m_display.c_str(), 1);
    if (windowManager == WindowManager::None) {
        return result;
    }
    result->m_windowManager = spawn("openbox --sm-disable >/dev/null 2>&1");
    result->m_windowManagerId = readLine(result->m_windowManager);
    // openbox announces itself by setting _NET_SUPPORTING_WM_CHECK on the root window.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'") == 0) {
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

XServer::~XServer()
{
    stop(m_windowManager, m_windowManagerId);
    stop(m_server, m_serverId);
}
