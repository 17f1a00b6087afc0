#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

/// A program that a test or benchmark starts, found on the PATH, with stdin from /dev/null. Ends it when
/// the object goes: SIGTERM, SIGKILL if it is still there a few seconds later.
class ChildProcess
{
public:
    enum class Output
    {
        Inherited,
        /// Discarded: what it prints would run into a benchmark's table.
        Quiet,
        /// Standard output readable with readLine(), errors discarded.
        Piped,
        /// Standard output and errors into the file `logFile`.
        Logged,
    };

    /// `environment` replaces ours when not empty.
    explicit ChildProcess(std::vector<std::string> arguments, Output output = Output::Quiet,
                          const std::string& logFile = {}, std::vector<std::string> environment = {});
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    /// 0 when it could not start.
    [[nodiscard]] pid_t pid() const { return m_pid; }
    [[nodiscard]] bool isRunning();
    /// The next line it printed, without its end; empty once it has closed its output.
    [[nodiscard]] std::string readLine();

private:
    pid_t m_pid = 0;
    bool m_hasEnded = false;
    FILE* m_output = nullptr;
};
