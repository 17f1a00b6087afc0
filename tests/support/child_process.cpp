#include "tests/support/child_process.h"

#include <algorithm>
#include <csignal>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

ChildProcess::ChildProcess(std::vector<std::string> arguments, Output output, const std::string& logFile,
                           std::vector<std::string> environment)
{
    // Without a pipe it runs as if quiet, and readLine() finds nothing.
    int pipe[2] = {-1, -1};
    const bool piped = output == Output::Piped && ::pipe2(pipe, O_CLOEXEC) == 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, output == Output::Logged ? logFile.c_str() : "/dev/null",
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, piped ? pipe[1] : 2, 1);
    // Null-terminated, as exec wants them.
    std::vector<char*> argv(arguments.size() + 1), envp(environment.size() + 1);
    std::ranges::transform(arguments, argv.begin(), [](std::string& string) { return string.data(); });
    std::ranges::transform(environment, envp.begin(), [](std::string& string) { return string.data(); });
    if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environment.empty() ? environ : envp.data()) !=
        0) {
        m_pid = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    m_output = pipe[0];
}

ChildProcess::~ChildProcess()
{
    // SIGTERM, SIGKILL five seconds later; signal 0 only asks whether it is still there.
    for (int wait = 0; isRunning(); ++wait) {
        kill(m_pid, wait == 0 ? SIGTERM : wait == 500 ? SIGKILL : 0);
        ::usleep(10000);
    }
    ::close(m_output);
}

bool ChildProcess::isRunning()
{
    m_hasEnded = m_hasEnded || m_pid <= 0 || waitpid(m_pid, nullptr, WNOHANG) != 0;
    return !m_hasEnded;
}

std::string ChildProcess::readLine()
{
    std::string line;
    for (char next = 0; ::read(m_output, &next, 1) == 1 && next != '\n';) {
        line += next;
    }
    return line;
}
