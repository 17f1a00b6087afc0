#include "bench/program_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

constexpr auto dockDeadline = 30s;
// Settled after start: less than 1 % of a CPU over a second.
constexpr auto startQuietWindow = 1s;
constexpr long long startQuietAllowance = 10'000'000;

/// Ours with the home, the XDG folders and the platform replaced, and no session bus.
std::vector<std::string> privateEnvironment(const std::filesystem::path& home)
{
    const std::vector<std::pair<std::string, std::string>> replaced{
        {"HOME", home.string()},
        {"XDG_CONFIG_HOME", (home / ".config").string()},
        {"XDG_DATA_HOME", (home / ".local/share").string()},
        {"XDG_CACHE_HOME", (home / ".cache").string()},
        {"XDG_RUNTIME_DIR", (home / "runtime").string()},
        {"QT_QPA_PLATFORM", "xcb"},
    };
    const std::vector<std::string> removed{"DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "XDG_STATE_HOME"};
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string name = std::string(*entry).substr(0, std::string(*entry).find('='));
        if (std::ranges::none_of(replaced, [&name](const auto& pair) { return pair.first == name; }) &&
            std::ranges::find(removed, name) == removed.end()) {
            environment.emplace_back(*entry);
        }
    }
    for (const auto& [name, value] : replaced) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

std::optional<std::filesystem::path> makeHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        return std::nullopt;
    }
    std::error_code error;
    for (const char* folder : {".config", ".local/share", ".cache", "runtime"}) {
        std::filesystem::create_directories(std::filesystem::path(pattern) / folder, error);
    }
    // Programs refuse a runtime folder that others could read.
    chmod((std::filesystem::path(pattern) / "runtime").c_str(), 0700);
    return pattern;
}

} // namespace

std::unique_ptr<ProgramRun> ProgramRun::start(const std::vector<std::string>& command, BenchDesktop& desktop,
                                              std::string& failure)
{
    // The icon of the run before must be gone, or it would be taken for the new one.
    for (const auto gone = Clock::now() + 10s; !desktop.dockedIcons().empty() && Clock::now() < gone;) {
        std::this_thread::sleep_for(10ms);
    }
    const auto home = makeHome();
    failure = !desktop.hasTray()               ? "the tray host (tint2) has gone"
              : !desktop.dockedIcons().empty() ? "an icon of an earlier run stays docked in the tray"
              : !home                          ? "cannot make a temporary home"
                                               : "";
    if (!failure.empty()) {
        return nullptr;
    }
    std::unique_ptr<ProgramRun> run(new ProgramRun(*home, command));
    while (run->isRunning() && desktop.dockedIcons().empty() && Clock::now() - run->m_started < dockDeadline) {
        std::this_thread::sleep_for(2ms);
    }
    run->m_startUp = Clock::now() - run->m_started;
    failure = !run->isRunning()                                          ? "it ended before its tray icon docked"
              : !desktop.hasTray()                                       ? "the tray host (tint2) has gone"
              : desktop.dockedIcons().empty()                            ? "no tray icon docked in tint2 within 30 s"
              : !run->settle(startQuietWindow, startQuietAllowance, 30s) ? "still busy 30 s after its icon docked"
                                                                         : "";
    if (!failure.empty()) {
        std::fprintf(stderr, "%s: %s; its last output:\n%s", command.front().c_str(), failure.c_str(),
                     run->outputTail().c_str());
        return nullptr;
    }
    const auto tree = processTree(run->pid());
    run->m_memoryAtStart = memoryUse(tree);
    run->m_processesAtStart = tree.size();
    return run;
}

ProgramRun::ProgramRun(std::filesystem::path home, const std::vector<std::string>& command)
    : m_home(std::move(home)), m_before(processTree(getpid())),
      m_child(std::make_unique<ChildProcess>(command, ChildProcess::Output::Logged, file("output.log"),
                                             privateEnvironment(m_home))),
      m_activity(m_child->pid())
{}

ProgramRun::~ProgramRun()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_home, ignored);
}

bool ProgramRun::settle(Clock::duration window, long long allowance, Clock::duration timeout)
{
    IdleWatch watch(m_activity, window, allowance);
    for (const auto deadline = Clock::now() + timeout; !watch.isIdle() && Clock::now() < deadline;) {
        std::this_thread::sleep_for(IdleWatch::period);
        watch.poll();
    }
    return watch.isIdle();
}

std::pair<double, double> ProgramRun::idleCpu(Clock::duration duration)
{
    const auto before = m_activity.sample();
    std::this_thread::sleep_for(duration);
    const auto after = m_activity.sample();
    const double seconds = std::chrono::duration<double>(duration).count();
    return {static_cast<double>(after.first - before.first) / 1e6 / seconds,
            static_cast<double>(after.second - before.second) / seconds};
}

std::string ProgramRun::outputTail() const
{
    std::ifstream log(file("output.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        lines.push_back("    " + line + "\n");
    }
    std::string tail;
    for (auto line = lines.size() > 5 ? lines.end() - 5 : lines.begin(); line != lines.end(); ++line) {
        tail += *line;
    }
    return tail;
}

void ProgramRun::stop()
{
    auto helpers = processTree(pid());
    m_child.reset();
    // Helpers that outlive their parent come to us, their subreaper: they are what is new below us.
    const auto isNew = [this, &helpers](const ProcessEntry& process) {
        const auto isSame = [&process](const ProcessEntry& other) {
            return other.pid == process.pid && other.startTime == process.startTime;
        };
        return std::ranges::none_of(m_before, isSame) && std::ranges::none_of(helpers, isSame);
    };
    for (const auto& process : processTree(getpid())) {
        if (isNew(process)) {
            helpers.push_back(process);
        }
    }
    for (const int signal : {SIGTERM, SIGKILL}) {
        for (const auto& helper : helpers) {
            if (::isRunning(helper)) {
                kill(helper.pid, signal);
            }
        }
        const auto anyLeft = [&helpers] {
            // Reaps those that are ours; any other process's child gives ECHILD and is left to its parent.
            return std::ranges::any_of(helpers, [](const ProcessEntry& helper) {
                waitpid(helper.pid, nullptr, WNOHANG);
                return ::isRunning(helper);
            });
        };
        for (const auto deadline = Clock::now() + 3s; anyLeft() && Clock::now() < deadline;) {
            std::this_thread::sleep_for(20ms);
        }
    }
}
