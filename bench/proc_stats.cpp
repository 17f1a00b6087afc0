#include "bench/proc_stats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Listing the processes reads a file per thread; helpers that live a few milliseconds matter little.
constexpr int samplesPerListing = 5;

struct StatFields
{
    char state = '?';
    long long ticks = 0;
    unsigned long long startTime = 0;
};

/// The fields of the process, if it is still the one that was listed.
std::optional<StatFields> readStat(pid_t pid, std::optional<unsigned long long> startTime = std::nullopt)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    // The command name sits in parentheses and may hold spaces and parentheses itself.
    if (!std::getline(file, line) || line.rfind(')') == std::string::npos) {
        return std::nullopt;
    }
    StatFields fields;
    long long times[4] = {};
    // From field 3: state, ..., utime (14), stime, cutime, cstime, ..., starttime (22).
    const int read = std::sscanf(line.c_str() + line.rfind(')') + 1,
                                 " %c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lld %lld %lld %lld %*d %*d %*d %*d %llu",
                                 &fields.state, &times[0], &times[1], &times[2], &times[3], &fields.startTime);
    if (read != 6 || (startTime && *startTime != fields.startTime)) {
        return std::nullopt;
    }
    fields.ticks = times[0] + times[1] + times[2] + times[3];
    return fields;
}

std::vector<pid_t> numericEntries(const std::string& path)
{
    std::vector<pid_t> numbers;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
        if (const int number = std::atoi(entry.path().filename().c_str()); number > 0) {
            numbers.push_back(number);
        }
    }
    return numbers;
}

std::string taskPath(pid_t pid)
{
    return "/proc/" + std::to_string(pid) + "/task/";
}

} // namespace

std::vector<ProcessEntry> processTree(pid_t root)
{
    std::vector<ProcessEntry> tree;
    for (std::vector<pid_t> pending{root}; !pending.empty();) {
        const pid_t pid = pending.back();
        pending.pop_back();
        const auto fields = readStat(pid);
        if (!fields) {
            continue;
        }
        tree.push_back({pid, fields->startTime});
        // Each thread lists the children it started.
        for (const pid_t thread : numericEntries(taskPath(pid))) {
            std::ifstream children(taskPath(pid) + std::to_string(thread) + "/children");
            for (pid_t child = 0; children >> child;) {
                pending.push_back(child);
            }
        }
    }
    return tree;
}

double cpuSeconds(const std::vector<ProcessEntry>& processes)
{
    long long ticks = 0;
    for (const auto& process : processes) {
        const auto fields = readStat(process.pid, process.startTime);
        ticks += fields ? fields->ticks : 0;
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

MemoryUse memoryUse(const std::vector<ProcessEntry>& processes)
{
    MemoryUse total;
    for (const auto& process : processes) {
        std::ifstream rollup("/proc/" + std::to_string(process.pid) + "/smaps_rollup");
        for (std::string line; std::getline(rollup, line);) {
            const long long value = std::atoll(line.c_str() + line.find(':') + 1);
            const auto is = [&line](const char* name) { return line.rfind(name, 0) == 0; };
            total.resident += is("Rss:") ? value : 0;
            total.proportional += is("Pss:") ? value : 0;
            total.unique += is("Private_Clean:") || is("Private_Dirty:") ? value : 0;
        }
    }
    return total;
}

bool isRunning(const ProcessEntry& process)
{
    const auto fields = readStat(process.pid, process.startTime);
    return fields && fields->state != 'Z' && fields->state != 'X';
}

CpuActivity::~CpuActivity()
{
    for (const auto& [thread, file] : m_threads) {
        close(file.descriptor);
    }
}

std::pair<long long, long long> CpuActivity::sample()
{
    if (m_samplesSinceListing == 0) {
        m_processes = processTree(m_root);
    }
    m_samplesSinceListing = (m_samplesSinceListing + 1) % samplesPerListing;
    for (const auto& process : m_processes) {
        for (const pid_t thread : numericEntries(taskPath(process.pid))) {
            const auto path = taskPath(process.pid) + std::to_string(thread) + "/schedstat";
            if (const int descriptor = m_threads.contains(thread) ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
                descriptor >= 0) {
                m_threads.emplace(thread, ThreadFile{descriptor});
            }
        }
    }
    for (auto thread = m_threads.begin(); thread != m_threads.end();) {
        char text[96];
        const ssize_t length = pread(thread->second.descriptor, text, sizeof text - 1, 0);
        text[std::max<ssize_t>(length, 0)] = '\0';
        // schedstat: nanoseconds on a CPU, nanoseconds waiting, times put on a CPU.
        long long ran = 0;
        long long slices = 0;
        if (length <= 0 || std::sscanf(text, "%lld %*d %lld", &ran, &slices) != 2) {
            // The thread has ended; what it ran stays counted.
            close(thread->second.descriptor);
            thread = m_threads.erase(thread);
            continue;
        }
        m_total.first += std::max(0LL, ran - std::exchange(thread->second.ran, ran));
        m_total.second += std::max(0LL, slices - std::exchange(thread->second.slices, slices));
        ++thread;
    }
    return m_total;
}

IdleWatch::IdleWatch(CpuActivity& activity, Clock::duration window, long long allowance)
    : m_activity(activity), m_window(window), m_allowance(allowance)
{
    m_samples.emplace_back(Clock::now(), m_activity.nanoseconds());
}

void IdleWatch::poll()
{
    if (Clock::now() - m_samples.back().first >= period) {
        m_samples.emplace_back(Clock::now(), m_activity.nanoseconds());
    }
}

bool IdleWatch::isIdle() const
{
    const auto& [now, total] = m_samples.back();
    // The last sample at least a window old.
    const auto windowStart =
        std::upper_bound(m_samples.begin(), m_samples.end(), now - m_window,
                         [](Clock::time_point time, const auto& sample) { return time < sample.first; });
    return windowStart != m_samples.begin() && total - std::prev(windowStart)->second <= m_allowance;
}

IdleWatch::Clock::time_point IdleWatch::endOfWork() const
{
    const long long total = m_samples.back().second;
    return std::find_if(m_samples.begin(), m_samples.end(),
                        [&](const auto& sample) { return total - sample.second <= m_allowance; })
        ->first;
}
