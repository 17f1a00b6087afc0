#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

/// A program the benchmark starts, quiet (what it prints would run into the benchmark's table), and
/// ends with SIGTERM when the object goes.
class ChildProcess
{
public:
    explicit ChildProcess(std::vector<std::string> arguments);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    /// 0 when it could not start.
    [[nodiscard]] pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = 0;
};
