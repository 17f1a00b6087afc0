#include "tests/support/x_server.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

std::unique_ptr<XServer> XServer::start(WindowManager windowManager, int width, int height)
{
    std::unique_ptr<XServer> result(new XServer);
    // Xvfb writes the display number it chose once it accepts clients, or ends and closes the pipe.
    result->m_server = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0",
                                 std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp",
                                 "-noreset"},
        ChildProcess::Output::Piped);
    const auto number = result->m_server->readLine();
    if (number.empty()) {
        return nullptr;
    }
    result->m_display = ":" + number;
    setenv("DISPLAY", result->m_display.c_str(), 1);
    if (windowManager == WindowManager::None) {
        return result;
    }
    result->m_windowManager = std::make_unique<ChildProcess>(std::vector<std::string>{"openbox", "--sm-disable"});
    // openbox announces itself by setting _NET_SUPPORTING_WM_CHECK on the root window.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'") == 0) {
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}
