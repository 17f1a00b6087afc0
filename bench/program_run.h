#pragma once

#include "tests/support/child_process.h"

#include <QTemporaryDir>

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <ios>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/// A clipboard program measured from outside (/proc) on a private display, with a private HOME and XDG folders
/// and no session bus, so that on X11 it takes the XEmbed tray and touches nothing of the user's. Its start-up
/// runs from posix_spawn to the sign that it is up, and start() returns once it has settled. The program and the
/// processes it started end, and its home goes, with the object. Beside it, what the whole-program benchmarks
/// share: their table, their settings and their waits.
class ProgramRun
{
public:
    using Clock = std::chrono::steady_clock;

    /// Of all its processes, in MB; the proportional set size splits shared pages among every process that
    /// maps them.
    struct Memory
    {
        double proportional = 0;
        double resident = 0;
        std::size_t processes = 0;
    };

    /// Starts `command` on Qt's `platform`, waits until `isUp` holds and for it to settle; null, with the reason
    /// in `failure`.
    [[nodiscard]] static std::unique_ptr<ProgramRun> start(const std::vector<std::string>& command,
                                                           const char* platform,
                                                           const std::function<bool(const ProgramRun&)>& isUp,
                                                           std::string& failure);

    ~ProgramRun();

    [[nodiscard]] bool isRunning() { return m_child.isRunning(); }
    [[nodiscard]] Clock::duration startUp() const { return m_startUp; }
    [[nodiscard]] Memory memory() const;
    /// A file of the program's private home, for what the benchmark hands to other programs.
    [[nodiscard]] std::string file(const std::string& name) const
    {
        return m_home.filePath(QString::fromStdString(name)).toStdString();
    }
    /// Its environment, for commands that must reach it.
    [[nodiscard]] const std::vector<std::string>& environment() const { return m_environment; }

    /// Waits until its threads ran at most `allowance` nanoseconds in `window`: the end of the work (the first
    /// reading after which they ran no more than that), or nothing at `timeout`.
    [[nodiscard]] std::optional<Clock::time_point> settle(Clock::duration window, long long allowance,
                                                          Clock::duration timeout);
    /// What its threads ran, in ms per second, and how often a second they were put on a CPU, over `duration`.
    [[nodiscard]] std::pair<double, double> idleCpu(Clock::duration duration);

    /// The nanoseconds its threads ran and the times they were put on a CPU, from schedstat: finer than utime's
    /// ticks. Only grows: a thread that ends keeps the part seen by the last reading.
    [[nodiscard]] std::pair<long long, long long> threadTime();

private:
    ProgramRun(const std::vector<std::string>& command, const char* platform);

    /// Goes after the program has ended.
    QTemporaryDir m_home;
    std::vector<std::string> m_environment;
    Clock::time_point m_started = Clock::now();
    ChildProcess m_child;
    Clock::duration m_startUp{};
    std::map<pid_t, std::pair<long long, long long>> m_threads;
    std::pair<long long, long long> m_threadTotal;
};

/// The samples of each row of a whole-program benchmark's table, in the order the rows were first added; a
/// phase that failed says why in `failure`.
struct Figures
{
    std::vector<std::pair<std::string, std::vector<double>>> rows;
    std::string failure;

    std::vector<double>& operator[](const std::string& title);
};

[[nodiscard]] double milliseconds(std::chrono::steady_clock::duration duration);

/// Asks `isDone` every `period` until it holds, for at most `timeout`: whether it held.
bool waitUntil(const std::function<bool()>& isDone, std::chrono::steady_clock::duration timeout,
               std::chrono::steady_clock::duration period = std::chrono::milliseconds(1));

/// The whole lines that `file` has past `read`, which moves on past them: a program may be writing the last.
[[nodiscard]] std::vector<std::string> newLines(const std::string& file, std::streamoff& read);

/// Reads `--name N` pairs over `settings`; false, after printing `usage`, on anything else or N < 0.
[[nodiscard]] bool readSettings(int argc, char** argv, std::map<std::string, int>& settings, const char* usage);

/// One Markdown table, a column per program (the first of `programs`, as many as there are columns) with the median and
/// the largest of each row, then what failed; false when anything did.
bool printTable(const std::vector<std::string>& programs, std::vector<Figures>& columns);
