#include "bench/proc_stats.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Listing the processes reads a file per thread; helpers that live a few milliseconds matter little.
constexpr int samplesPerListing = 5;

struct StatFields
{
    pid_t parent = 0;
    char state = '?';
    long long ownTicks = 0;
    long long childTicks = 0;
    unsigned long long startTime = 0;
};

std::optional<StatFields> readStat(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) {
        return std::nullopt;
    }
    // The command name sits in parentheses and may hold spaces and parentheses itself.
    const auto nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream rest(line.substr(nameEnd + 1));
    StatFields fields;
    // From field 3: state, ppid, pgrp, session, tty_nr, tpgid, flags, minflt, cminflt, majflt, cmajflt,
    // utime, stime, cutime, cstime, priority, nice, num_threads, itrealvalue, starttime.
    long long skipped = 0;
    long long utime = 0;
    long long stime = 0;
    long long cutime = 0;
    long long cstime = 0;
    rest >> fields.state >> fields.parent;
    for (int field = 5; field <= 13; ++field) {
        rest >> skipped;
    }
    rest >> utime >> stime >> cutime >> cstime;
    for (int field = 18; field <= 21; ++field) {
        rest >> skipped;
    }
    rest >> fields.startTime;
    if (!rest) {
        return std::nullopt;
    }
    fields.ownTicks = utime + stime;
    fields.childTicks = cutime + cstime;
    return fields;
}

/// The fields of the process if it is still the one that was listed.
std::optional<StatFields> readStat(const ProcessEntry& process)
{
    auto fields = readStat(process.pid);
    if (!fields || fields->startTime != process.startTime) {
        return std::nullopt;
    }
    return fields;
}

long long treeTicks(const std::vector<ProcessEntry>& processes)
{
    long long ticks = 0;
    for (const auto& process : processes) {
        if (const auto fields = readStat(process)) {
            ticks += fields->ownTicks + fields->childTicks;
        }
    }
    return ticks;
}

template <typename Visit> void forEachNumericEntry(const std::string& directoryPath, Visit visit)
{
    DIR* directory = opendir(directoryPath.c_str());
    if (!directory) {
        return;
    }
    while (const dirent* entry = readdir(directory)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        if (number > 0 && *end == '\0') {
            visit(static_cast<pid_t>(number));
        }
    }
    closedir(directory);
}

} // namespace

std::vector<ProcessEntry> processTree(pid_t root)
{
    std::vector<ProcessEntry> tree;
    std::vector<pid_t> pending{root};
    while (!pending.empty()) {
        const pid_t pid = pending.back();
        pending.pop_back();
        const auto fields = readStat(pid);
        if (!fields) {
            continue;
        }
        tree.push_back({pid, fields->startTime});
        // Each thread lists the children it started.
        const std::string taskPath = "/proc/" + std::to_string(pid) + "/task";
        forEachNumericEntry(taskPath, [&](pid_t thread) {
            std::ifstream children(taskPath + "/" + std::to_string(thread) + "/children");
            for (pid_t child = 0; children >> child;) {
                pending.push_back(child);
            }
        });
    }
    return tree;
}

double cpuSeconds(const std::vector<ProcessEntry>& processes)
{
    return static_cast<double>(treeTicks(processes)) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

MemoryUse memoryUse(const std::vector<ProcessEntry>& processes)
{
    MemoryUse total;
    for (const auto& process : processes) {
        std::ifstream rollup("/proc/" + std::to_string(process.pid) + "/smaps_rollup");
        for (std::string line; std::getline(rollup, line);) {
            const auto value = [&line] { return std::atoll(line.c_str() + line.find(':') + 1); };
            if (line.rfind("Rss:", 0) == 0) {
                total.resident += value();
            } else if (line.rfind("Pss:", 0) == 0) {
                total.proportional += value();
            } else if (line.rfind("Private_Clean:", 0) == 0 || line.rfind("Private_Dirty:", 0) == 0) {
                total.unique += value();
            }
        }
    }
    return total;
}

bool isRunning(const ProcessEntry& process)
{
    const auto fields = readStat(process);
    return fields && fields->state != 'Z' && fields->state != 'X';
}

CpuActivity::~CpuActivity()
{
    for (const auto& [thread, file] : m_threads) {
        close(file.descriptor);
    }
}

long long CpuActivity::nanoseconds()
{
    if (m_samplesSinceListing == 0) {
        m_processes = processTree(m_root);
    }
    m_samplesSinceListing = (m_samplesSinceListing + 1) % samplesPerListing;

    for (const auto& process : m_processes) {
        const std::string taskPath = "/proc/" + std::to_string(process.pid) + "/task";
        forEachNumericEntry(taskPath, [&](pid_t thread) {
            if (m_threads.contains(thread)) {
                return;
            }
            const auto path = taskPath + "/" + std::to_string(thread) + "/schedstat";
            const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (descriptor >= 0) {
                m_threads.emplace(thread, ThreadFile{descriptor, 0});
            }
        });
    }
    for (auto thread = m_threads.begin(); thread != m_threads.end();) {
        char text[96];
        const ssize_t length = pread(thread->second.descriptor, text, sizeof text - 1, 0);
        if (length <= 0) {
            // The thread has ended; what it ran stays counted.
            close(thread->second.descriptor);
            thread = m_threads.erase(thread);
            continue;
        }
        text[length] = '\0';
        // schedstat: nanoseconds on a CPU, nanoseconds waiting, time slices.
        const long long ran = std::atoll(text);
        if (ran > thread->second.lastSeen) {
            m_total += ran - thread->second.lastSeen;
            thread->second.lastSeen = ran;
        }
        ++thread;
    }
    return m_total;
}
