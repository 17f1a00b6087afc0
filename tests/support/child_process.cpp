#include "tests/support/child_process.h"

#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (auto& string : strings) {
        result.push_back(string.data());
    }
    result.push_back(nullptr);
    return result;
}

} // namespace

ChildProcess::ChildProcess(std::vector<std::string> arguments, Output output, const std::string& logFile,
                           std::vector<std::string> environment)
{
    int pipe[2] = {-1, -1};
    if (output == Output::Piped && ::pipe2(pipe, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output == Output::Quiet || output == Output::Piped) {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    if (output == Output::Quiet) {
        posix_spawn_file_actions_adddup2(&actions, 2, 1);
    } else if (output == Output::Piped) {
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
    } else if (output == Output::Logged) {
        posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    const auto argv = pointers(arguments);
    const auto envp = pointers(environment);
    if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environment.empty() ? environ : envp.data()) !=
        0) {
        m_pid = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (output == Output::Piped) {
        ::close(pipe[1]);
        m_output = ::fdopen(pipe[0], "r");
    }
}

ChildProcess::~ChildProcess()
{
    if (isRunning()) {
        kill(m_pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (isRunning() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (isRunning()) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    if (m_output) {
        std::fclose(m_output);
    }
}

bool ChildProcess::isRunning()
{
    m_hasEnded = m_hasEnded || m_pid <= 0 || waitpid(m_pid, nullptr, WNOHANG) != 0;
    return !m_hasEnded;
}

std::string ChildProcess::readLine()
{
    char line[256] = {};
    if (!m_output || !std::fgets(line, sizeof line, m_output)) {
        return {};
    }
    std::string result(line);
    if (!result.empty() && result.back() == '\n') {
        result.pop_back();
    }
    return result;
}
