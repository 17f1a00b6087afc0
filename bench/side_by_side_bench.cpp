// Velmora beside CopyQ, when it is installed: each alone on a private Xvfb with openbox and a tint2 tray,
// measured from outside only (/proc for CPU and memory, X11 for the rest), printed as one table.
//
//   build/bench/side_by_side_bench [--starts N] [--texts N] [--pictures N]
//
// CopyQ is only compared with, never needed: without it the table has Velmora's column alone.

#include "bench/bench_desktop.h"
#include "bench/clipboard_owner.h"
#include "bench/proc_stats.h"
#include "bench/sample_picture.h"
#include "bench/tray_host.h"
#include "tests/support/child_process.h"

#include <QByteArray>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int pictureWidth = 3840;
constexpr int pictureHeight = 2160;
// Every third sample reads a file per thread of the program; more often would take CPU from it.
constexpr auto samplePeriod = 3ms;
constexpr auto dockDeadline = 30s;
constexpr auto settleDeadline = 30s;
constexpr auto copyDeadline = 15s;
// Settled after start: less than 1 % of a CPU over a second.
constexpr auto startQuietWindow = 1s;
constexpr long long startQuietAllowance = 10'000'000;
// After a copy: the threads ran at most the allowance (1 ms, more if the program ticks more when idle)
// over the window. The window outlasts any pause inside the work, such as waiting for the next chunk.
constexpr auto textQuietWindow = 300ms;
constexpr auto pictureQuietWindow = 1s;
constexpr long long minimumWorkAllowance = 1'000'000;
// A program that ticks harder than this when idle never counts as settled, which the table shows.
constexpr long long maximumWorkAllowance = 5'000'000;
constexpr auto idleBaseline = 2s;

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

struct Settings
{
    int starts = 5;
    int texts = 30;
    int pictures = 10;
};

/// A clipboard manager under test and how it is started.
struct Contender
{
    std::string name;
    std::vector<std::string> command;
};

/// Figures of one contender; a phase that failed leaves its figures empty and says why in `failure`.
struct Figures
{
    std::vector<double> startMilliseconds;
    std::vector<double> startPssMegabytes;
    std::vector<double> startUssMegabytes;
    std::vector<double> startRssMegabytes;
    std::vector<std::size_t> startProcesses;
    double idleMillisecondsPerSecond = 0;
    std::vector<double> textFirstRequest;
    std::vector<double> textDataRequest;
    std::vector<std::string> textTargets;
    /// Not asked for within the copy's deadline.
    int textsUnread = 0;
    std::vector<double> pictureDataRequest;
    std::vector<double> pictureWork;
    std::vector<std::string> pictureTargets;
    /// Not read, or still busy when the copy's deadline came.
    int picturesUnfinished = 0;
    std::optional<double> cpuPerPicture;
    std::optional<double> pssAfterPicturesMegabytes;
    bool lostClipboard = false;
    std::string failure;
};

std::optional<std::string> findInPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/bin:/bin";
    for (std::size_t begin = 0; begin <= directories.size();) {
        const auto end = std::min(directories.find(':', begin), directories.size());
        const std::string candidate = directories.substr(begin, end - begin) + "/" + program;
        if (end > begin && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        begin = end + 1;
    }
    return std::nullopt;
}

/// A temporary folder that stands in for the user's home and every XDG folder, so that a program reads
/// and writes nothing of the user's. Removed with everything in it when the object goes.
class PrivateHome
{
public:
    [[nodiscard]] static std::unique_ptr<PrivateHome> create()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "side-by-side-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            return nullptr;
        }
        std::unique_ptr<PrivateHome> home(new PrivateHome(pattern));
        std::error_code error;
        for (const char* folder : {".config", ".local/share", ".cache", "runtime"}) {
            std::filesystem::create_directories(home->m_path / folder, error);
        }
        // Programs refuse a runtime folder that others could read.
        chmod((home->m_path / "runtime").c_str(), 0700);
        return error ? nullptr : std::move(home);
    }

    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;
    ~PrivateHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    explicit PrivateHome(std::filesystem::path path) : m_path(std::move(path)) {}

    std::filesystem::path m_path;
};

/// The environment of the benchmark with a private home and no session bus, so that the program takes the
/// XEmbed tray that tint2 hosts and cannot reach anything of the user's session.
std::vector<std::string> privateEnvironment(const PrivateHome& home)
{
    const auto folder = [&home](const char* name) { return (home.path() / name).string(); };
    const std::vector<std::pair<std::string, std::string>> replaced{
        {"HOME", home.path().string()},
        {"XDG_CONFIG_HOME", folder(".config")},
        {"XDG_DATA_HOME", folder(".local/share")},
        {"XDG_CACHE_HOME", folder(".cache")},
        {"XDG_RUNTIME_DIR", folder("runtime")},
        {"QT_QPA_PLATFORM", "xcb"},
    };
    const std::vector<std::string> removed{"DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "XDG_STATE_HOME"};
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        const bool isReplaced =
            std::any_of(replaced.begin(), replaced.end(), [&name](const auto& pair) { return pair.first == name; });
        if (!isReplaced && std::find(removed.begin(), removed.end(), name) == removed.end()) {
            environment.push_back(variable);
        }
    }
    for (const auto& [name, value] : replaced) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

/// One run of a contender with its helpers. Ends them all when the object goes: SIGTERM, and SIGKILL for
/// whatever is left after a few seconds.
class RunningProgram
{
public:
    [[nodiscard]] static std::unique_ptr<RunningProgram> start(const Contender& contender, const PrivateHome& home)
    {
        // Our children and theirs so far (the desktop): whatever else turns up below us is the program's.
        auto before = processTree(getpid());
        const std::string log = (home.path() / "output.log").string();
        const auto started = Clock::now();
        auto child = std::make_unique<ChildProcess>(contender.command, ChildProcess::Output::Logged, log,
                                                    privateEnvironment(home));
        if (child->pid() == 0) {
            std::fprintf(stderr, "%s: cannot start %s\n", contender.name.c_str(), contender.command.front().c_str());
            return nullptr;
        }
        return std::unique_ptr<RunningProgram>(new RunningProgram(std::move(child), started, log, std::move(before)));
    }

    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    ~RunningProgram() { stop(); }

    [[nodiscard]] pid_t pid() const { return m_child->pid(); }
    [[nodiscard]] Clock::time_point started() const { return m_started; }
    [[nodiscard]] bool isRunning() { return m_child->isRunning(); }

    /// The end of what the program printed, to show why it failed.
    [[nodiscard]] std::string outputTail() const
    {
        std::ifstream file(m_log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        std::string tail;
        for (std::size_t index = lines.size() > 5 ? lines.size() - 5 : 0; index < lines.size(); ++index) {
            tail += "    " + lines[index] + "\n";
        }
        return tail;
    }

private:
    RunningProgram(std::unique_ptr<ChildProcess> child, Clock::time_point started, std::string log,
                   std::vector<ProcessEntry> before)
        : m_child(std::move(child)), m_started(started), m_log(std::move(log)), m_before(std::move(before))
    {}

    void stop()
    {
        const auto pid = m_child->pid();
        auto helpers = processTree(pid);
        m_child.reset();
        // Helpers that outlive their parent come to us, their subreaper: they are what is new below us.
        for (const auto& process : processTree(getpid())) {
            const auto isSame = [&process](const ProcessEntry& other) {
                return other.pid == process.pid && other.startTime == process.startTime;
            };
            if (std::none_of(m_before.begin(), m_before.end(), isSame) &&
                std::none_of(helpers.begin(), helpers.end(), isSame)) {
                helpers.push_back(process);
            }
        }
        std::erase_if(helpers, [pid](const ProcessEntry& process) { return process.pid == pid; });
        endHelpers(helpers);
    }

    static void endHelpers(const std::vector<ProcessEntry>& helpers)
    {
        const auto anyLeft = [&helpers] {
            bool left = false;
            for (const auto& helper : helpers) {
                // Reaps those that are ours; any other process's child gives ECHILD and is left to its parent.
                waitpid(helper.pid, nullptr, WNOHANG);
                left = left || ::isRunning(helper);
            }
            return left;
        };
        const auto signalAll = [&helpers](int signal) {
            for (const auto& helper : helpers) {
                if (::isRunning(helper)) {
                    kill(helper.pid, signal);
                }
            }
        };
        signalAll(SIGTERM);
        for (int signal : {SIGTERM, SIGKILL}) {
            const auto deadline = Clock::now() + 3s;
            while (anyLeft() && Clock::now() < deadline) {
                std::this_thread::sleep_for(20ms);
            }
            if (!anyLeft()) {
                return;
            }
            if (signal == SIGTERM) {
                signalAll(SIGKILL);
            }
        }
    }

    std::unique_ptr<ChildProcess> m_child;
    Clock::time_point m_started;
    std::string m_log;
    std::vector<ProcessEntry> m_before;
};

/// Tells from CPU samples when a program has gone idle: its threads ran at most `allowance` nanoseconds in
/// the last `window`. The work ended at the first sample after which no more than the allowance was spent.
class IdleWatch
{
public:
    IdleWatch(CpuActivity& activity, Clock::duration window, long long allowance)
        : m_activity(activity), m_window(window), m_allowance(allowance)
    {
        sample();
    }

    /// Samples when the last sample is a period old; call it often.
    void poll()
    {
        if (Clock::now() - m_samples.back().first >= samplePeriod) {
            sample();
        }
    }

    [[nodiscard]] bool isIdle() const
    {
        const auto& [now, total] = m_samples.back();
        // The last sample at least a window old.
        auto windowStart =
            std::upper_bound(m_samples.begin(), m_samples.end(), now - m_window,
                             [](Clock::time_point time, const auto& sample) { return time < sample.first; });
        if (windowStart == m_samples.begin()) {
            return false;
        }
        --windowStart;
        return total - windowStart->second <= m_allowance;
    }

    [[nodiscard]] Clock::time_point endOfWork() const
    {
        const long long total = m_samples.back().second;
        const auto end = std::find_if(m_samples.begin(), m_samples.end(),
                                      [&](const auto& sample) { return total - sample.second <= m_allowance; });
        return end->first;
    }

    [[nodiscard]] long long spent() const { return m_samples.back().second - m_samples.front().second; }

private:
    void sample() { m_samples.emplace_back(Clock::now(), m_activity.nanoseconds()); }

    CpuActivity& m_activity;
    Clock::duration m_window;
    long long m_allowance;
    std::vector<std::pair<Clock::time_point, long long>> m_samples;
};

std::string format(const char* pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

/// What followed one copy, in milliseconds from the moment the clipboard changed hands.
struct CopyOutcome
{
    /// CPU time the program's threads ran from the copy to the end of the watch, in milliseconds.
    double threadMilliseconds = 0;
    std::optional<double> firstRequest;
    std::optional<double> firstDataRequest;
    std::optional<double> endOfWork;
    std::vector<std::string> targets;
};

/// Answers the program's requests after a copy until it has read the content and gone idle again.
CopyOutcome followCopy(ClipboardOwner& owner, CpuActivity& activity, Clock::time_point copied,
                       Clock::duration quietWindow, long long allowance)
{
    CopyOutcome outcome;
    IdleWatch watch(activity, quietWindow, allowance);
    const auto deadline = copied + copyDeadline;
    while (Clock::now() < deadline) {
        if (!owner.serve(1ms)) {
            break;
        }
        watch.poll();
        const auto& requests = owner.requests();
        if (requests.empty()) {
            continue;
        }
        outcome.firstRequest = milliseconds(requests.front().arrived - copied);
        const auto data =
            std::find_if(requests.begin(), requests.end(), [](const auto& request) { return request.isForData; });
        if (data == requests.end()) {
            continue;
        }
        outcome.firstDataRequest = milliseconds(data->arrived - copied);
        const auto now = Clock::now();
        if (now - data->arrived >= quietWindow && now - requests.back().arrived >= quietWindow && watch.isIdle()) {
            // The work cannot have ended before the content was asked for.
            outcome.endOfWork = milliseconds(std::max(watch.endOfWork(), data->arrived) - copied);
            break;
        }
    }
    outcome.threadMilliseconds = static_cast<double>(watch.spent()) / 1e6;
    for (const auto& request : owner.requests()) {
        if (std::find(outcome.targets.begin(), outcome.targets.end(), request.target) == outcome.targets.end()) {
            outcome.targets.push_back(request.target);
        }
    }
    return outcome;
}

void logCopy(const std::string& name, const char* kind, int number, const CopyOutcome& outcome)
{
    const auto show = [](const std::optional<double>& value) { return value ? format("%.0f ms", *value) : "-"; };
    std::fprintf(stderr, "%s: %s %d: first request %s, first for the content %s, end of work %s, threads ran %.0f ms\n",
                 name.c_str(), kind, number, show(outcome.firstRequest).c_str(), show(outcome.firstDataRequest).c_str(),
                 show(outcome.endOfWork).c_str(), outcome.threadMilliseconds);
}

/// Keeps answering requests for a random while of up to half a second, so that copies do not keep step
/// with a program that looks at the clipboard on a timer.
void pauseAtRandom(ClipboardOwner& owner, std::mt19937& random)
{
    const auto until = Clock::now() + std::chrono::milliseconds(random() % 500);
    while (Clock::now() < until && owner.serve(5ms)) {
    }
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

void addTargets(std::vector<std::string>& all, const std::vector<std::string>& more)
{
    for (const auto& name : more) {
        if (std::find(all.begin(), all.end(), name) == all.end()) {
            all.push_back(name);
        }
    }
}

/// Starts the contender `settings.starts` times, each with a new home; the last run stays for the copies.
std::unique_ptr<RunningProgram> measureStarts(const Contender& contender, const Settings& settings, TrayHost& tray,
                                              std::unique_ptr<PrivateHome>& home, Figures& figures)
{
    std::unique_ptr<RunningProgram> program;
    for (int run = 0; run < settings.starts; ++run) {
        program.reset();
        home = PrivateHome::create();
        if (!home) {
            figures.failure = "cannot make a temporary home";
            return nullptr;
        }
        // The icon of the run before must be gone, or it would be taken for the new one.
        const auto iconsGone = Clock::now() + 10s;
        while (!tray.dockedIcons().empty() && Clock::now() < iconsGone) {
            std::this_thread::sleep_for(10ms);
        }
        if (!tray.isRunning()) {
            figures.failure = "the tray host (tint2) has gone";
            return nullptr;
        }
        if (!tray.dockedIcons().empty()) {
            figures.failure = "an icon of an earlier run stays docked in the tray";
            return nullptr;
        }

        program = RunningProgram::start(contender, *home);
        if (!program) {
            figures.failure = "cannot start " + contender.command.front();
            return nullptr;
        }
        std::optional<Clock::time_point> docked;
        while (!docked && program->isRunning() && Clock::now() - program->started() < dockDeadline) {
            if (!tray.dockedIcons().empty()) {
                docked = Clock::now();
            } else {
                std::this_thread::sleep_for(2ms);
            }
        }
        if (!docked) {
            figures.failure = !program->isRunning() ? "it ended before its tray icon docked"
                              : !tray.isRunning()   ? "the tray host (tint2) has gone"
                                                    : "no tray icon docked in tint2 within 30 s";
            std::fprintf(stderr, "%s: %s; its last output:\n%s", contender.name.c_str(), figures.failure.c_str(),
                         program->outputTail().c_str());
            return nullptr;
        }
        figures.startMilliseconds.push_back(milliseconds(*docked - program->started()));

        CpuActivity activity(program->pid());
        IdleWatch watch(activity, startQuietWindow, startQuietAllowance);
        const auto deadline = Clock::now() + settleDeadline;
        while (!watch.isIdle() && Clock::now() < deadline) {
            std::this_thread::sleep_for(samplePeriod);
            watch.poll();
        }
        if (!watch.isIdle()) {
            figures.failure = "still busy 30 s after its icon docked";
            return nullptr;
        }
        const auto tree = processTree(program->pid());
        const auto memory = memoryUse(tree);
        figures.startPssMegabytes.push_back(static_cast<double>(memory.proportional) / 1024);
        figures.startUssMegabytes.push_back(static_cast<double>(memory.unique) / 1024);
        figures.startRssMegabytes.push_back(static_cast<double>(memory.resident) / 1024);
        figures.startProcesses.push_back(tree.size());
    }
    return program;
}

Figures measure(const Contender& contender, const Settings& settings, const std::vector<std::string>& pictures,
                TrayHost& tray, ClipboardOwner& owner)
{
    Figures figures;
    // What the program before left on the clipboard would be read at start by one and not the other.
    owner.release();
    std::unique_ptr<PrivateHome> home;
    // Declared after the home: the program ends before its home is removed.
    auto program = measureStarts(contender, settings, tray, home, figures);
    if (!program) {
        return figures;
    }
    std::fprintf(stderr, "%s: started %d times, now copying\n", contender.name.c_str(), settings.starts);

    CpuActivity activity(program->pid());
    const long long idleBefore = activity.nanoseconds();
    const auto baselineStart = Clock::now();
    while (Clock::now() - baselineStart < idleBaseline) {
        owner.serve(50ms);
    }
    const double idleNanosecondsPerSecond = static_cast<double>(activity.nanoseconds() - idleBefore) /
                                            std::chrono::duration<double>(Clock::now() - baselineStart).count();
    figures.idleMillisecondsPerSecond = idleNanosecondsPerSecond / 1e6;
    std::fprintf(stderr, "%s: idle, %.3f ms of CPU per second\n", contender.name.c_str(),
                 figures.idleMillisecondsPerSecond);
    const auto allowanceFor = [&](Clock::duration window) {
        const double idle = 2 * idleNanosecondsPerSecond * std::chrono::duration<double>(window).count();
        return std::clamp(static_cast<long long>(idle), minimumWorkAllowance, maximumWorkAllowance);
    };

    std::mt19937 random(std::random_device{}());
    for (int copy = 0; copy < settings.texts; ++copy) {
        char text[96];
        std::snprintf(text, sizeof text, "Side by side, text %d of %d: %08x", copy + 1, settings.texts,
                      static_cast<unsigned>(random()));
        if (!program->isRunning()) {
            figures.failure = "it ended during the copies of texts";
            return figures;
        }
        const auto copied = owner.copy(
            {{"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING", "TEXT"}, std::string(text)});
        if (!copied) {
            figures.failure = "the X server did not let the benchmark own the clipboard";
            return figures;
        }
        const auto outcome = followCopy(owner, activity, *copied, textQuietWindow, allowanceFor(textQuietWindow));
        logCopy(contender.name, "text", copy + 1, outcome);
        addTargets(figures.textTargets, outcome.targets);
        figures.lostClipboard = figures.lostClipboard || owner.hasLostClipboard();
        if (outcome.firstRequest) {
            figures.textFirstRequest.push_back(*outcome.firstRequest);
        }
        if (outcome.firstDataRequest) {
            figures.textDataRequest.push_back(*outcome.firstDataRequest);
        } else {
            ++figures.textsUnread;
        }
        pauseAtRandom(owner, random);
    }

    const double cpuBefore = cpuSeconds(processTree(program->pid()));
    for (std::size_t index = 0; index < pictures.size(); ++index) {
        if (!program->isRunning()) {
            figures.failure = "it ended during the copies of pictures";
            return figures;
        }
        const auto copied = owner.copy({{"image/png"}, pictures[index]});
        if (!copied) {
            figures.failure = "the X server did not let the benchmark own the clipboard";
            return figures;
        }
        const auto outcome = followCopy(owner, activity, *copied, pictureQuietWindow, allowanceFor(pictureQuietWindow));
        logCopy(contender.name, "picture", static_cast<int>(index) + 1, outcome);
        addTargets(figures.pictureTargets, outcome.targets);
        figures.lostClipboard = figures.lostClipboard || owner.hasLostClipboard();
        if (outcome.firstDataRequest) {
            figures.pictureDataRequest.push_back(*outcome.firstDataRequest);
        }
        if (outcome.endOfWork) {
            figures.pictureWork.push_back(*outcome.endOfWork);
        } else {
            ++figures.picturesUnfinished;
        }
        pauseAtRandom(owner, random);
    }
    const auto tree = processTree(program->pid());
    if (!pictures.empty()) {
        figures.cpuPerPicture = (cpuSeconds(tree) - cpuBefore) / static_cast<double>(pictures.size());
    }
    figures.pssAfterPicturesMegabytes = static_cast<double>(memoryUse(tree).proportional) / 1024;
    return figures;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string medianAndMaximum(const std::vector<double>& values, int missed = 0, const char* missing = "")
{
    if (values.empty()) {
        return missed > 0 ? std::to_string(missed) + " " + missing : std::string();
    }
    std::string cell =
        format("%.0f", median(values)) + " / " + format("%.0f", *std::max_element(values.begin(), values.end()));
    if (missed > 0) {
        cell += " (" + std::to_string(missed) + " " + missing + ")";
    }
    return cell;
}

struct Row
{
    std::string figure;
    std::function<std::string(const Figures&)> cell;
};

void printTable(const std::vector<std::string>& names, const std::vector<Figures>& columns, const Settings& settings)
{
    const std::string copies = std::to_string(settings.texts);
    const std::string pictures = std::to_string(settings.pictures);
    const std::vector<Row> rows{
        {"start to tray icon docked, median of " + std::to_string(settings.starts) + " (ms)",
         [](const Figures& figures) {
             return figures.startMilliseconds.empty() ? "" : format("%.0f", median(figures.startMilliseconds));
         }},
        {"memory after start, PSS of all its processes (MB)",
         [](const Figures& figures) {
             if (figures.startPssMegabytes.empty()) {
                 return std::string();
             }
             const auto processes = figures.startProcesses.back();
             return format("%.1f", median(figures.startPssMegabytes)) + " (" + std::to_string(processes) +
                    (processes == 1 ? " process)" : " processes)");
         }},
        {"copy of a small text to the first request for it, median / max of " + copies + " (ms)",
         [](const Figures& figures) {
             return medianAndMaximum(figures.textDataRequest, figures.textsUnread, "never read");
         }},
        {"CPU per distinct 3840 x 2160 PNG, over " + pictures + " (s)",
         [](const Figures& figures) {
             return figures.cpuPerPicture ? format("%.3f", *figures.cpuPerPicture) : std::string();
         }},
        {"copy of that PNG to the end of the work, median / max of " + pictures + " (ms)",
         [](const Figures& figures) {
             return medianAndMaximum(figures.pictureWork, figures.picturesUnfinished, "unfinished");
         }},
    };
    const std::vector<Row> details{
        {"copy of a small text to its first request of any kind, median / max (ms)",
         [](const Figures& figures) { return medianAndMaximum(figures.textFirstRequest); }},
        {"copy of that PNG to the first request for its content, median / max (ms)",
         [](const Figures& figures) { return medianAndMaximum(figures.pictureDataRequest); }},
        {"memory after start, private (USS) / resident (RSS) (MB)",
         [](const Figures& figures) {
             if (figures.startUssMegabytes.empty()) {
                 return std::string();
             }
             return format("%.1f", median(figures.startUssMegabytes)) + " / " +
                    format("%.1f", median(figures.startRssMegabytes));
         }},
        {"memory after the pictures, PSS (MB)",
         [](const Figures& figures) {
             return figures.pssAfterPicturesMegabytes ? format("%.1f", *figures.pssAfterPicturesMegabytes)
                                                      : std::string();
         }},
        {"CPU while idle (ms per s)",
         [](const Figures& figures) {
             return figures.startMilliseconds.empty() ? "" : format("%.3f", figures.idleMillisecondsPerSecond);
         }},
        {"targets asked for a text", [](const Figures& figures) { return joined(figures.textTargets); }},
        {"targets asked for a PNG", [](const Figures& figures) { return joined(figures.pictureTargets); }},
    };

    const auto printRows = [&](const std::vector<Row>& table) {
        std::printf("| figure |");
        for (const auto& name : names) {
            std::printf(" %s |", name.c_str());
        }
        std::printf("\n|---|");
        for (std::size_t column = 0; column < names.size(); ++column) {
            std::printf("---|");
        }
        std::printf("\n");
        for (const auto& row : table) {
            std::printf("| %s |", row.figure.c_str());
            for (const auto& figures : columns) {
                const std::string cell = row.cell(figures);
                std::printf(" %s |", !cell.empty() ? cell.c_str() : figures.failure.empty() ? "-" : "failed");
            }
            std::printf("\n");
        }
    };
    printRows(rows);
    std::printf("\nDetails:\n\n");
    printRows(details);
    for (std::size_t column = 0; column < columns.size(); ++column) {
        if (!columns[column].failure.empty()) {
            std::printf("\n%s failed: %s\n", names[column].c_str(), columns[column].failure.c_str());
        }
        if (columns[column].lostClipboard) {
            std::printf("\n%s took the clipboard over after some copies.\n", names[column].c_str());
        }
    }
    std::printf("\nEach program ran alone, with a private HOME and XDG folders and no session bus (XEmbed tray).\n"
                "Start: from posix_spawn to a viewable window of another client inside one of tint2's windows.\n"
                "Memory: once the program's CPU rose by less than 10 ms in a second after its icon docked. PSS\n"
                "shares library pages among every process on the machine that maps them, USS counts only pages\n"
                "that nothing else maps.\n"
                "Copies: the benchmark owns CLIPBOARD from a new window each time; times run from just before its\n"
                "SetSelectionOwner to the arrival of the request. A random pause of up to 0.5 s separates copies.\n"
                "End of the work: the CPU time of the program's threads (schedstat, read every %d ms) is followed\n"
                "until it rose by at most 1 ms (twice the program's idle use if more, at most 5 ms) in %.0f ms;\n"
                "the work ended at the first reading after which it rose by no more than that.\n"
                "CPU per picture: utime + stime + cutime + cstime of the program's processes before the first\n"
                "picture and after the last one, divided by their number.\n",
                static_cast<int>(samplePeriod.count()), milliseconds(pictureQuietWindow));
}

std::optional<Settings> parseArguments(int argc, char** argv)
{
    Settings settings;
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        int* value = option == "--starts"     ? &settings.starts
                     : option == "--texts"    ? &settings.texts
                     : option == "--pictures" ? &settings.pictures
                                              : nullptr;
        if (!value || index + 1 == argc) {
            return std::nullopt;
        }
        *value = std::atoi(argv[++index]);
        if (*value < (value == &settings.starts ? 1 : 0)) {
            return std::nullopt;
        }
    }
    return settings;
}

std::vector<std::string> makePictures(int count)
{
    // Drawing text needs a GUI application; this one draws off screen and is gone before the desktop comes.
    int argc = 3;
    char name[] = "side_by_side_bench";
    char platformOption[] = "-platform";
    char platform[] = "offscreen";
    char* argv[] = {name, platformOption, platform, nullptr};
    QGuiApplication application(argc, argv);
    std::vector<std::string> pictures;
    for (int variant = 1; variant <= count; ++variant) {
        const QByteArray png = screenshotPng(pictureWidth, pictureHeight, variant);
        pictures.emplace_back(png.constData(), static_cast<std::size_t>(png.size()));
    }
    return pictures;
}

} // namespace

int main(int argc, char** argv)
{
    const auto settings = parseArguments(argc, argv);
    if (!settings) {
        std::fprintf(stderr, "usage: %s [--starts N] [--texts N] [--pictures N]\n", argv[0]);
        return 2;
    }
    // Helpers left behind by a program we end come to us, so that we can end them too.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    std::vector<Contender> contenders{{"Velmora", {VELMORA_EXECUTABLE}}};
    if (const auto copyq = findInPath("copyq")) {
        // Without arguments CopyQ runs its server, with its tray icon on by default.
        contenders.push_back({"CopyQ", {*copyq}});
    } else {
        std::printf("copyq: not installed\n\n");
    }

    std::fprintf(stderr, "drawing %d pictures\n", settings->pictures);
    const auto pictures = makePictures(settings->pictures);
    const std::clock_t drawn = std::clock();
    double averageBytes = 0;
    for (const auto& picture : pictures) {
        averageBytes += static_cast<double>(picture.size()) / static_cast<double>(pictures.size());
    }

    const auto desktop = BenchDesktop::start(VELMORA_TINT2RC);
    if (!desktop) {
        return 1;
    }
    auto tray = TrayHost::open();
    auto owner = ClipboardOwner::open();
    if (!tray || !owner) {
        std::fprintf(stderr, "cannot open the benchmark's own connections to the X server\n");
        return 1;
    }

    std::vector<std::string> names;
    std::vector<Figures> columns;
    for (const auto& contender : contenders) {
        std::fprintf(stderr, "%s: measuring\n", contender.name.c_str());
        names.push_back(contender.name);
        columns.push_back(measure(contender, *settings, pictures, *tray, *owner));
    }
    if (!pictures.empty()) {
        std::printf("Pictures: %d of 3840 x 2160, %.0f KB on average.\n\n", settings->pictures, averageBytes / 1024);
    }
    printTable(names, columns, *settings);
    std::printf("Besides drawing the pictures, the benchmark used %.1f s of CPU (answering requests, polling /proc "
                "every %d ms).\n",
                static_cast<double>(std::clock() - drawn) / CLOCKS_PER_SEC, static_cast<int>(samplePeriod.count()));
    const bool failed =
        std::any_of(columns.begin(), columns.end(), [](const Figures& figures) { return !figures.failure.empty(); });
    return failed ? 1 : 0;
}
