#include "tests/support/x_server.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

pid_t spawn(const std::vector<std::string>& arguments, const posix_spawn_file_actions_t* actions = nullptr)
{
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), environ) != 0) {
        return 0;
    }
    return pid;
}

void stop(pid_t pid)
{
    if (pid <= 0) {
        return;
    }
    kill(pid, SIGTERM);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string readLine(int fd, std::chrono::milliseconds timeout)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd request{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (poll(&request, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char c = 0;
        if (read(fd, &c, 1) != 1 || c == '\n') {
            break;
        }
        line.push_back(c);
    }
    return line;
}

} // namespace

std::unique_ptr<XServer> XServer::start(WindowManager windowManager, int width, int height)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    // Xvfb writes the display number it chose to this descriptor once it accepts clients.
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const pid_t server = spawn({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);

    const auto number = readLine(pipeEnds[0], std::chrono::seconds(10));
    close(pipeEnds[0]);
    if (server == 0 || number.empty()) {
        stop(server);
        return nullptr;
    }

    std::unique_ptr<XServer> result(new XServer(server, ":" + number));
    setenv("DISPLAY", result->m_display.c_str(), 1);
    if (windowManager == WindowManager::Openbox && !result->startWindowManager()) {
        return nullptr;
    }
    return result;
}

bool XServer::startWindowManager()
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    m_windowManager = spawn({"openbox", "--sm-disable"}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    if (m_windowManager == 0) {
        return false;
    }
    // openbox announces itself by setting _NET_SUPPORTING_WM_CHECK on the root window.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'") == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

XServer::~XServer()
{
    stop(m_windowManager);
    stop(m_server);
}
