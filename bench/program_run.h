#pragma once

#include "bench/bench_desktop.h"
#include "bench/proc_stats.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

/// A clipboard program measured from outside on the bench desktop, with a private HOME and XDG folders and no
/// session bus, so that it takes the XEmbed tray and touches nothing of the user's. Its start-up runs from
/// posix_spawn to its tray icon docked; its memory is read once it has settled. The program and every helper
/// it started end, and its home goes, with the object.
class ProgramRun
{
public:
    using Clock = std::chrono::steady_clock;

    /// Starts `command`, waits for its icon and for it to settle; null, with the reason in `failure`.
    [[nodiscard]] static std::unique_ptr<ProgramRun> start(const std::vector<std::string>& command,
                                                           BenchDesktop& desktop, std::string& failure);

    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;
    ~ProgramRun();

    [[nodiscard]] pid_t pid() const { return m_child->pid(); }
    [[nodiscard]] bool isRunning() { return m_child->isRunning(); }
    [[nodiscard]] CpuActivity& activity() { return m_activity; }
    [[nodiscard]] Clock::duration startUp() const { return m_startUp; }
    [[nodiscard]] const MemoryUse& memoryAtStart() const { return m_memoryAtStart; }
    [[nodiscard]] std::size_t processesAtStart() const { return m_processesAtStart; }
    /// A file of the program's private home, for what the benchmark hands to other programs.
    [[nodiscard]] std::string file(const std::string& name) const { return (m_home / name).string(); }

    /// Waits until the program's threads ran at most `allowance` nanoseconds in `window`; false at `timeout`.
    [[nodiscard]] bool settle(Clock::duration window, long long allowance, Clock::duration timeout);
    /// What the program's threads ran, in ms per second, and how often a second they were woken, over
    /// `duration` in which the benchmark does nothing.
    [[nodiscard]] std::pair<double, double> idleCpu(Clock::duration duration);

private:
    ProgramRun(std::filesystem::path home, const std::vector<std::string>& command);

    /// Ends the program and its helpers: SIGTERM, and SIGKILL for whatever is left after a few seconds.
    void stop();
    [[nodiscard]] std::string outputTail() const;

    std::filesystem::path m_home;
    /// Our children and theirs before the program started: whatever else turns up below us is the program's.
    std::vector<ProcessEntry> m_before;
    Clock::time_point m_started = Clock::now();
    std::unique_ptr<ChildProcess> m_child;
    CpuActivity m_activity;
    Clock::duration m_startUp{};
    MemoryUse m_memoryAtStart;
    std::size_t m_processesAtStart = 0;
};
