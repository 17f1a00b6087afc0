#include "bench/child_process.h"

#include <csignal>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

ChildProcess::ChildProcess(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&m_pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0) {
        m_pid = 0;
    }
    posix_spawn_file_actions_destroy(&quiet);
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}
