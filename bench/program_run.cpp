#include "bench/program_run.h"

#include <algorithm>
#include <cstdio>
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
    std::vector<std::string> environment{"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                         "XDG_DATA_HOME=" + home + "/.local/share",
                                         "XDG_CACHE_HOME=" + home + "/.cache", "XDG_RUNTIME_DIR=" + home + "/runtime",
                                         std::string("QT_QPA_PLATFORM=") + platform,
                                         // Else Velmora closes its /proc entries, which the figures read.
                                         "VELMORA_DUMPABLE=1"};
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

std::vector<double>& Figures::operator[](const std::string& title)
{
    const auto row = std::ranges::find(rows, title, &std::pair<std::string, std::vector<double>>::first);
    return row != rows.end() ? row->second : rows.emplace_back(title, std::vector<double>{}).second;
}

double milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

bool waitUntil(const std::function<bool()>& isDone, std::chrono::steady_clock::duration timeout,
               std::chrono::steady_clock::duration period)
{
    // Not asked again once it held: what it reads may be gone.
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !isDone();
         std::this_thread::sleep_for(period)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> newLines(const std::string& file, std::streamoff& read)
{
    std::ifstream stream(file);
    stream.seekg(read);
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line) && !stream.eof(); lines.push_back(line)) {
        read += static_cast<std::streamoff>(line.size()) + 1;
    }
    return lines;
}

bool readSettings(int argc, char** argv, std::map<std::string, int>& settings, const char* usage)
{
    for (int index = 1; index < argc; index += 2) {
        if (!settings.contains(argv[index]) || index + 1 == argc || std::atoi(argv[index + 1]) < 0) {
            std::fprintf(stderr, "usage: %s %s\n", argv[0], usage);
            return false;
        }
        settings[argv[index]] = std::atoi(argv[index + 1]);
    }
    return true;
}

bool printTable(const std::vector<std::string>& programs, std::vector<Figures>& columns)
{
    const auto format = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 1 ? "%.1f" : "%.3f", value);
        return std::string(text);
    };
    std::string header = "| figure |";
    std::string rule = "|---|";
    for (std::size_t column = 0; column < columns.size(); ++column) {
        header += " " + programs[column] + " |";
        rule += "---|";
    }
    std::printf("%s\n%s\n", header.c_str(), rule.c_str());
    // The rows of the column that has most: one that failed early has fewer.
    const auto table = std::ranges::max_element(columns, {}, [](const Figures& column) { return column.rows.size(); });
    for (const auto& [title, ignored] : table->rows) {
        std::printf("| %s |", title.c_str());
        // The median, and the largest value when there are more.
        for (auto& column : columns) {
            auto values = column[title];
            std::ranges::sort(values);
            const auto median =
                values.empty() ? "-" : format((values[values.size() / 2] + values[(values.size() - 1) / 2]) / 2);
            std::printf(" %s |", (values.size() > 1 ? median + " / " + format(values.back()) : median).c_str());
        }
        std::printf("\n");
    }
    for (std::size_t column = 0; column < columns.size(); ++column) {
        if (!columns[column].failure.empty()) {
            std::printf("\n%s failed: %s\n", programs[column].c_str(), columns[column].failure.c_str());
        }
    }
    return std::ranges::all_of(columns, [](const Figures& column) { return column.failure.empty(); });
}
