#include "tests/support/x_server.h"

#include <cstdlib>

std::unique_ptr<XServer> XServer::start(WindowManager windowManager)
{
    auto result = std::make_unique<XServer>();
    // Xvfb writes the display number it chose once it accepts clients, or ends and closes the pipe.
    result->m_server =
        std::make_unique<ChildProcess>(std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0",
                                                                "1440x900x24", "-nolisten", "tcp", "-noreset"},
                                       ChildProcess::Output::Piped);
    const auto number = result->m_server->readLine();
    setenv("DISPLAY", (":" + number).c_str(), 1);
    if (number.empty() || windowManager == WindowManager::None) {
        return number.empty() ? nullptr : std::move(result);
    }
    result->m_windowManager = std::make_unique<ChildProcess>(std::vector<std::string>{"openbox", "--sm-disable"});
    // openbox announces itself by setting _NET_SUPPORTING_WM_CHECK on the root window; 30 s for busy machines.
    const int announced = std::system("for i in $(seq 600); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | "
                                      "grep -q 'window id' && exit 0; sleep 0.05; done; exit 1");
    return announced == 0 ? std::move(result) : nullptr;
}
