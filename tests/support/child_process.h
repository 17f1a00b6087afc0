#pragma once

#include <string>
#include <vector>

/// A program found on the PATH, stdin from /dev/null; SIGTERM, then SIGKILL, when the object goes.
class ChildProcess
{
public:
    /// Quiet discards its output, Piped lets readLine() read stdout, Logged writes both into `logFile`.
    enum class Output
    {
        Quiet,
        Piped,
        Logged
    };

    /// `environment` replaces ours when not empty.
    explicit ChildProcess(std::vector<std::string> arguments, Output output = Output::Quiet,
                          const std::string& logFile = {}, std::vector<std::string> environment = {});
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    [[nodiscard]] bool isRunning();
    [[nodiscard]] int pid() const { return m_pid; }
    /// The next line of its stdout without its end; empty once it has closed it.
    [[nodiscard]] std::string readLine();

private:
    int m_pid = 0;
    bool m_hasEnded = false;
    int m_output = -1;
};
