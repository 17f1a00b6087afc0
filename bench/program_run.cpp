#include "bench/program_run.h"

#include "bench/figures.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

/// `root` and every process below it, from the children that each of its threads lists.
std::vector<pid_t> processTree(pid_t root)
{
    std::vector<pid_t> tree;
    for (std::vector<pid_t> pending{root}; !pending.empty();) {
        tree.push_back(pending.back());
        pending.pop_back();
        std::error_code error;
        for (const auto& thread :
             std::filesystem::directory_iterator("/proc/" + std::to_string(tree.back()) + "/task", error)) {
            std::ifstream children(thread.path() / "children");
            for (pid_t child = 0; children >> child;) {
                pending.push_back(child);
            }
        }
    }
    return tree;
}

/// Ours with the home, the XDG folders and the platform replaced, and no session bus.
std::vector<std::string> privateEnvironment(const std::string& home, const char* platform)
{
    std::vector<std::string> environment{"HOME=" + home,
                                         "XDG_CONFIG_HOME=" + home + "/.config",
                                         "XDG_DATA_HOME=" + home + "/.local/share",
                                         "XDG_CACHE_HOME=" + home + "/.cache",
                                         "XDG_RUNTIME_DIR=" + home + "/runtime",
                                         std::string("QT_QPA_PLATFORM=") + platform};
    const std::set<std::string> dropped{"XDG_STATE_HOME", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS"};
    for (char** entry = environ; *entry; ++entry) {
        const std::string name = std::string(*entry).substr(0, std::string(*entry).find('='));
        const auto isOurs = [&name](const std::string& variable) { return variable.starts_with(name + '='); };
        if (!dropped.contains(name) && std::ranges::none_of(environment, isOurs)) {
            environment.emplace_back(*entry);
        }
    }
    std::error_code ignored;
    for (const char* folder : {"/.config", "/.local/share", "/.cache", "/runtime"}) {
        std::filesystem::create_directories(home + folder, ignored);
    }
    // Programs refuse a runtime folder that others could read.
    chmod((home + "/runtime").c_str(), 0700);
    return environment;
}

} // namespace

std::unique_ptr<ProgramRun> ProgramRun::start(const std::vector<std::string>& command, const char* platform,
                                              const std::function<bool(const ProgramRun&)>& isUp, std::string& failure)
{
    std::unique_ptr<ProgramRun> run(new ProgramRun(command, platform));
    waitUntil([&] { return !run->isRunning() || isUp(*run); }, 30s, 2ms);
    run->m_startUp = Clock::now() - run->m_started;
    if (!isUp(*run)) {
        failure = "not up within 30 s, or it ended; its output is in " + run->file("log");
        run->m_home.setAutoRemove(false);
        return nullptr;
    }
    // Settled: less than 1 % of a CPU over a second.
    failure = run->settle(1s, 10'000'000, 30s) ? "" : "still busy 30 s after it was up";
    return failure.empty() ? std::move(run) : nullptr;
}

ProgramRun::ProgramRun(const std::vector<std::string>& command, const char* platform)
    : m_environment(privateEnvironment(m_home.path().toStdString(), platform)),
      m_child(command, ChildProcess::Output::Logged, file("log"), m_environment)
{}

ProgramRun::~ProgramRun()
{
    // Its helpers first: the program itself ends with its ChildProcess.
    for (const pid_t process : processTree(m_child.pid())) {
        if (process != m_child.pid()) {
            kill(process, SIGTERM);
        }
    }
}

ProgramRun::Memory ProgramRun::memory() const
{
    Memory total;
    for (const pid_t process : processTree(m_child.pid())) {
        ++total.processes;
        std::ifstream rollup("/proc/" + std::to_string(process) + "/smaps_rollup");
        for (std::string line; std::getline(rollup, line);) {
            const double megabytes = std::atof(line.c_str() + line.find(':') + 1) / 1024;
            const auto is = [&line](const char* name) { return line.starts_with(name); };
            total.resident += is("Rss:") ? megabytes : 0;
            total.proportional += is("Pss:") ? megabytes : 0;
        }
    }
    return total;
}

std::pair<long long, long long> ProgramRun::threadTime()
{
    for (const pid_t process : processTree(m_child.pid())) {
        std::error_code error;
        for (const auto& thread :
             std::filesystem::directory_iterator("/proc/" + std::to_string(process) + "/task", error)) {
            // Nanoseconds on a CPU, nanoseconds waiting, times put on a CPU.
            std::ifstream schedstat(thread.path() / "schedstat");
            long long ran = 0, waited = 0, slices = 0;
            if (schedstat >> ran >> waited >> slices) {
                auto& [lastRan, lastSlices] = m_threads[std::atoi(thread.path().filename().c_str())];
                m_threadTotal.first += std::max(0LL, ran - std::exchange(lastRan, ran));
                m_threadTotal.second += std::max(0LL, slices - std::exchange(lastSlices, slices));
            }
        }
    }
    return m_threadTotal;
}

std::optional<ProgramRun::Clock::time_point> ProgramRun::settle(Clock::duration window, long long allowance,
                                                                Clock::duration timeout)
{
    std::vector<std::pair<Clock::time_point, long long>> samples{{Clock::now(), threadTime().first}};
    for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
        // More often would take CPU from the program.
        std::this_thread::sleep_for(5ms);
        samples.emplace_back(Clock::now(), threadTime().first);
        const auto ranSince = [&samples](const auto& sample) { return samples.back().second - sample.second; };
        const auto windowStart = std::ranges::find_if(
            samples, [&](const auto& sample) { return sample.first > samples.back().first - window; });
        if (windowStart != samples.begin() && ranSince(*std::prev(windowStart)) <= allowance) {
            return std::ranges::find_if(samples, [&](const auto& sample) { return ranSince(sample) <= allowance; })
                ->first;
        }
    }
    return std::nullopt;
}

std::pair<double, double> ProgramRun::idleCpu(Clock::duration duration)
{
    const auto before = threadTime();
    std::this_thread::sleep_for(duration);
    const auto after = threadTime();
    const double seconds = std::chrono::duration<double>(duration).count();
    return {static_cast<double>(after.first - before.first) / 1e6 / seconds,
            static_cast<double>(after.second - before.second) / seconds};
}
