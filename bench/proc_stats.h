#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <utility>
#include <vector>

/// One process as /proc shows it; the start time tells a process from a later one with the same id.
struct ProcessEntry
{
    pid_t pid = 0;
    unsigned long long startTime = 0;
};

/// `root` and every process below it that is alive (or not yet waited for) now.
[[nodiscard]] std::vector<ProcessEntry> processTree(pid_t root);

/// utime + stime + cutime + cstime of the processes, in seconds. The children's part holds helpers that
/// have already ended and been waited for, so short-lived helpers count too.
[[nodiscard]] double cpuSeconds(const std::vector<ProcessEntry>& processes);

/// Memory of processes from smaps_rollup, summed, in KiB.
struct MemoryUse
{
    /// Shared pages split between every process on the machine that maps them.
    long long proportional = 0;
    /// Pages only these processes use, each counted once.
    long long unique = 0;
    long long resident = 0;
};

[[nodiscard]] MemoryUse memoryUse(const std::vector<ProcessEntry>& processes);

/// Whether the process is still there and not a zombie.
[[nodiscard]] bool isRunning(const ProcessEntry& process);

/// The CPU time of a program's threads, from their schedstat, read every few milliseconds to tell when the
/// program has stopped working: utime's 10 ms ticks are too coarse for that. It only grows: a thread that ends
/// keeps its part; only threads that start and end between two samples go unseen.
class CpuActivity
{
public:
    explicit CpuActivity(pid_t root) : m_root(root) {}
    CpuActivity(const CpuActivity&) = delete;
    CpuActivity& operator=(const CpuActivity&) = delete;
    ~CpuActivity();

    /// Reads the threads again: the nanoseconds they ran, and the times they were put on a CPU.
    [[nodiscard]] std::pair<long long, long long> sample();
    [[nodiscard]] long long nanoseconds() { return sample().first; }

private:
    struct ThreadFile
    {
        int descriptor = -1;
        long long ran = 0;
        long long slices = 0;
    };

    pid_t m_root;
    std::vector<ProcessEntry> m_processes;
    int m_samplesSinceListing = 0;
    /// Open schedstat files by thread id, read again with pread: far cheaper than opening them each time.
    std::map<pid_t, ThreadFile> m_threads;
    std::pair<long long, long long> m_total;
};

/// Tells from CPU samples when a program has gone idle: its threads ran at most `allowance` nanoseconds in
/// the last `window`. The work ended at the first sample after which no more than the allowance was spent.
class IdleWatch
{
public:
    using Clock = std::chrono::steady_clock;
    /// Every third sample lists the threads of the program; more often would take CPU from it.
    static constexpr auto period = std::chrono::milliseconds(3);

    IdleWatch(CpuActivity& activity, Clock::duration window, long long allowance);

    /// Samples when the last sample is a period old; call it often.
    void poll();
    [[nodiscard]] bool isIdle() const;
    [[nodiscard]] Clock::time_point endOfWork() const;
    [[nodiscard]] long long spent() const { return m_samples.back().second - m_samples.front().second; }

private:
    CpuActivity& m_activity;
    Clock::duration m_window;
    long long m_allowance;
    std::vector<std::pair<Clock::time_point, long long>> m_samples;
};
