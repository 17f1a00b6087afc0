// Velmora beside CopyQ, when it is installed: each alone on a private Xvfb with openbox and a tint2 tray,
// measured from outside only (/proc for CPU and memory, X11 for the rest), printed as one table.
//
//   build/bench/side_by_side_bench [--starts N] [--texts N] [--pictures N] [--idle SECONDS]
//
// CopyQ is only compared with, never needed: without it the table has Velmora's column alone.

#include "bench/bench_desktop.h"
#include "bench/clipboard_copy.h"
#include "bench/program_run.h"
#include "bench/sample_picture.h"

#include <QByteArray>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto copyDeadline = 15s;
// After a copy: the threads ran at most the allowance (1 ms, more if the program ticks more when idle)
// over the window. The window outlasts any pause inside the work, such as waiting for the next chunk.
constexpr auto textQuietWindow = 300ms;
constexpr auto pictureQuietWindow = 1s;
constexpr long long minimumWorkAllowance = 1'000'000;
// A program that ticks harder than this when idle never counts as settled, which the table shows.
constexpr long long maximumWorkAllowance = 5'000'000;
const std::vector<std::string> textTargets{"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING"};

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::string format(const char* pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

struct Settings
{
    int starts = 5;
    int texts = 30;
    int pictures = 10;
    int idleSeconds = 10;
};

/// Figures of one contender; a phase that failed leaves its figures empty and says why in `failure`.
struct Figures
{
    std::vector<double> start;
    std::vector<MemoryUse> memory;
    std::size_t processes = 0;
    std::optional<std::pair<double, double>> idle;
    std::vector<double> textFirstRequest, textDataRequest, pictureDataRequest, pictureWork;
    std::vector<std::string> textTargets, pictureTargets;
    /// Texts not asked for, and pictures not read or still busy, when the copy's deadline came.
    int textsUnread = 0;
    int picturesUnfinished = 0;
    std::optional<double> cpuPerPicture;
    std::optional<double> pssAfterPictures;
    bool lostClipboard = false;
    std::string failure;
};

/// What followed one copy, in milliseconds from the moment the clipboard changed hands.
struct CopyOutcome
{
    std::optional<double> firstRequest, firstDataRequest, endOfWork;
};

/// Follows the program after a copy until it has read the content and gone idle again.
CopyOutcome followCopy(ClipboardCopy& copy, CpuActivity& activity, Clock::time_point copied,
                       Clock::duration quietWindow, long long allowance, std::vector<std::string>& targets)
{
    CopyOutcome outcome;
    IdleWatch watch(activity, quietWindow, allowance);
    while (Clock::now() < copied + copyDeadline && copy.isServing()) {
        std::this_thread::sleep_for(1ms);
        watch.poll();
        const auto& requests = copy.requests();
        const auto data = std::ranges::find_if(requests, &ClipboardCopy::Request::isForData);
        if (requests.empty() || data == requests.end()) {
            continue;
        }
        const auto now = Clock::now();
        if (now - data->arrived >= quietWindow && now - requests.back().arrived >= quietWindow && watch.isIdle()) {
            // The work cannot have ended before the content was asked for.
            outcome.endOfWork = milliseconds(std::max(watch.endOfWork(), data->arrived) - copied);
            break;
        }
    }
    const auto& requests = copy.requests();
    const auto data = std::ranges::find_if(requests, &ClipboardCopy::Request::isForData);
    outcome.firstRequest = requests.empty() ? std::nullopt : std::optional(milliseconds(requests[0].arrived - copied));
    outcome.firstDataRequest =
        data == requests.end() ? std::nullopt : std::optional(milliseconds(data->arrived - copied));
    std::string asked;
    for (const auto& request : requests) {
        asked += " " + request.target;
        if (std::ranges::find(targets, request.target) == targets.end()) {
            targets.push_back(request.target);
        }
    }
    std::fprintf(stderr, "  first request %.0f ms, for the content %.0f ms, end of work %.0f ms, asked%s\n",
                 outcome.firstRequest.value_or(-1), outcome.firstDataRequest.value_or(-1),
                 outcome.endOfWork.value_or(-1), asked.c_str());
    return outcome;
}

/// Copies in another application, one after the other, each followed until the program has done with it.
class Copier
{
public:
    Copier(ProgramRun& program, Figures& figures, long long idleNanosecondsPerSecond)
        : m_program(program), m_figures(figures), m_idle(idleNanosecondsPerSecond)
    {}

    /// False, with the reason in the figures, when the program or the copy failed.
    bool copy(const std::vector<std::string>& targets, const std::string& content, Clock::duration window,
              CopyOutcome& outcome, std::vector<std::string>& asked)
    {
        if (!m_program.isRunning()) {
            m_figures.failure = "it ended during the copies";
            return false;
        }
        // An owner that ended before it was replaced lost the clipboard to the program.
        m_figures.lostClipboard = m_figures.lostClipboard || (m_current && !m_current->isServing());
        const auto file = m_program.file("copy");
        std::ofstream(file, std::ios::binary) << content;
        // A log of its own for each owner: the one before writes on until it has seen the new one take over.
        const auto log = m_program.file("owner-" + std::to_string(++m_copies) + ".log");
        m_current = std::make_unique<ClipboardCopy>(targets, file, log);
        const auto taken = m_current->taken();
        if (!taken) {
            m_figures.failure = "the clipboard owner did not take the clipboard";
            return false;
        }
        const double idle = 2 * static_cast<double>(m_idle) * std::chrono::duration<double>(window).count();
        const auto allowance = std::clamp(static_cast<long long>(idle), minimumWorkAllowance, maximumWorkAllowance);
        outcome = followCopy(*m_current, m_program.activity(), *taken, window, allowance, asked);
        // A random pause of up to half a second, so that copies do not keep step with a program that looks at
        // the clipboard on a timer.
        std::this_thread::sleep_for(std::chrono::milliseconds(m_random() % 500));
        return true;
    }

private:
    ProgramRun& m_program;
    Figures& m_figures;
    long long m_idle;
    std::unique_ptr<ClipboardCopy> m_current;
    int m_copies = 0;
    std::mt19937 m_random{std::random_device{}()};
};

Figures measure(const std::vector<std::string>& command, const Settings& settings,
                const std::vector<std::string>& pictures, BenchDesktop& desktop)
{
    Figures figures;
    std::unique_ptr<ProgramRun> program;
    for (int run = 0; run < settings.starts; ++run) {
        program.reset();
        program = ProgramRun::start(command, desktop, figures.failure);
        if (!program) {
            return figures;
        }
        figures.start.push_back(milliseconds(program->startUp()));
        figures.memory.push_back(program->memoryAtStart());
        figures.processes = program->processesAtStart();
    }
    std::fprintf(stderr, "%s: started %d times, now idle for %d s\n", command[0].c_str(), settings.starts,
                 settings.idleSeconds);
    figures.idle = program->idleCpu(std::chrono::seconds(settings.idleSeconds));

    Copier copier(*program, figures, static_cast<long long>(figures.idle->first * 1e6));
    std::mt19937 random(std::random_device{}());
    for (int copy = 0; copy < settings.texts; ++copy) {
        char text[96];
        std::snprintf(text, sizeof text, "Side by side, text %d of %d: %08x", copy + 1, settings.texts,
                      static_cast<unsigned>(random()));
        CopyOutcome outcome;
        if (!copier.copy(textTargets, text, textQuietWindow, outcome, figures.textTargets)) {
            return figures;
        }
        if (outcome.firstRequest) {
            figures.textFirstRequest.push_back(*outcome.firstRequest);
        }
        if (outcome.firstDataRequest) {
            figures.textDataRequest.push_back(*outcome.firstDataRequest);
        }
        figures.textsUnread += outcome.firstDataRequest ? 0 : 1;
    }
    const double cpuBefore = cpuSeconds(processTree(program->pid()));
    for (const auto& picture : pictures) {
        CopyOutcome outcome;
        if (!copier.copy({"image/png"}, picture, pictureQuietWindow, outcome, figures.pictureTargets)) {
            return figures;
        }
        if (outcome.firstDataRequest) {
            figures.pictureDataRequest.push_back(*outcome.firstDataRequest);
        }
        if (outcome.endOfWork) {
            figures.pictureWork.push_back(*outcome.endOfWork);
        }
        figures.picturesUnfinished += outcome.endOfWork ? 0 : 1;
    }
    const auto tree = processTree(program->pid());
    if (!pictures.empty()) {
        figures.cpuPerPicture = (cpuSeconds(tree) - cpuBefore) / static_cast<double>(pictures.size());
    }
    figures.pssAfterPictures = static_cast<double>(memoryUse(tree).proportional) / 1024;
    return figures;
}

double median(std::vector<double> values)
{
    std::ranges::sort(values);
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string medianAndMaximum(const std::vector<double>& values, int missed = 0, const char* missing = "")
{
    std::string cell = values.empty()
                           ? ""
                           : format("%.0f", median(values)) + " / " + format("%.0f", *std::ranges::max_element(values));
    if (missed > 0) {
        cell += (cell.empty() ? "" : " (") + std::to_string(missed) + " " + missing + (cell.empty() ? "" : ")");
    }
    return cell;
}

std::string megabytes(const Figures& figures, long long MemoryUse::*field)
{
    std::vector<double> values;
    for (const auto& memory : figures.memory) {
        values.push_back(static_cast<double>(memory.*field) / 1024);
    }
    return values.empty() ? "" : format("%.1f", median(values));
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

using Row = std::pair<std::string, std::function<std::string(const Figures&)>>;

void printTable(const std::vector<Row>& rows, const std::vector<std::string>& names,
                const std::vector<Figures>& columns)
{
    std::printf("| figure |");
    for (const auto& name : names) {
        std::printf(" %s |", name.c_str());
    }
    std::printf("\n|---|");
    for (std::size_t column = 0; column < names.size(); ++column) {
        std::printf("---|");
    }
    std::printf("\n");
    for (const auto& [figure, cell] : rows) {
        std::printf("| %s |", figure.c_str());
        for (const auto& figures : columns) {
            const std::string text = cell(figures);
            std::printf(" %s |", !text.empty() ? text.c_str() : figures.failure.empty() ? "-" : "failed");
        }
        std::printf("\n");
    }
}

void printTables(const std::vector<std::string>& names, const std::vector<Figures>& columns, const Settings& settings)
{
    const std::string texts = std::to_string(settings.texts);
    const std::string pictures = std::to_string(settings.pictures);
    const std::vector<Row> rows{
        {"start to tray icon docked, median of " + std::to_string(settings.starts) + " (ms)",
         [](const Figures& figures) { return figures.start.empty() ? "" : format("%.0f", median(figures.start)); }},
        {"memory after start, PSS of all its processes (MB)",
         [](const Figures& figures) {
             const auto pss = megabytes(figures, &MemoryUse::proportional);
             const auto processes =
                 std::to_string(figures.processes) + (figures.processes == 1 ? " process" : " processes");
             return pss.empty() ? pss : pss + " (" + processes + ")";
         }},
        {"copy of a small text to the first request for it, median / max of " + texts + " (ms)",
         [](const Figures& figures) {
             return medianAndMaximum(figures.textDataRequest, figures.textsUnread, "never read");
         }},
        {"CPU per distinct 3840 x 2160 PNG, over " + pictures + " (s)",
         [](const Figures& figures) { return figures.cpuPerPicture ? format("%.3f", *figures.cpuPerPicture) : ""; }},
        {"copy of that PNG to the end of the work, median / max of " + pictures + " (ms)",
         [](const Figures& figures) {
             return medianAndMaximum(figures.pictureWork, figures.picturesUnfinished, "unfinished");
         }},
        {"memory after the pictures, PSS (MB), and the growth per picture",
         [&pictures = settings.pictures](const Figures& figures) {
             if (!figures.pssAfterPictures || figures.memory.empty() || pictures == 0) {
                 return std::string();
             }
             const double start = static_cast<double>(figures.memory.back().proportional) / 1024;
             return format("%.1f", *figures.pssAfterPictures) +
                    format(" (%+.2f per picture)", (*figures.pssAfterPictures - start) / pictures);
         }},
        {"CPU while idle over " + std::to_string(settings.idleSeconds) + " s (ms per s)",
         [](const Figures& figures) { return figures.idle ? format("%.3f", figures.idle->first) : ""; }},
    };
    const std::vector<Row> details{
        {"copy of a small text to its first request of any kind, median / max (ms)",
         [](const Figures& figures) { return medianAndMaximum(figures.textFirstRequest); }},
        {"copy of that PNG to the first request for its content, median / max (ms)",
         [](const Figures& figures) { return medianAndMaximum(figures.pictureDataRequest); }},
        {"memory after start, private (USS) / resident (RSS) (MB)",
         [](const Figures& figures) {
             const auto unique = megabytes(figures, &MemoryUse::unique);
             return unique.empty() ? unique : unique + " / " + megabytes(figures, &MemoryUse::resident);
         }},
        {"wake-ups of its threads while idle (per s)",
         [](const Figures& figures) { return figures.idle ? format("%.1f", figures.idle->second) : ""; }},
        {"targets asked for a text", [](const Figures& figures) { return joined(figures.textTargets); }},
        {"targets asked for a PNG", [](const Figures& figures) { return joined(figures.pictureTargets); }},
    };
    printTable(rows, names, columns);
    std::printf("\nDetails:\n\n");
    printTable(details, names, columns);
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
                "Idle: the CPU time and the times on a CPU of the program's threads (schedstat) over the idle time.\n"
                "Copies: the test suite's clipboard owner takes CLIPBOARD from a new process each time; times run\n"
                "from just before its SetSelectionOwner to the arrival of the request. A random pause of up to\n"
                "0.5 s separates copies.\n"
                "End of the work: the CPU time of the program's threads (schedstat, read every %d ms) is followed\n"
                "until it rose by at most 1 ms (twice the program's idle use if more, at most 5 ms) in %.0f ms;\n"
                "the work ended at the first reading after which it rose by no more than that.\n"
                "CPU per picture: utime + stime + cutime + cstime of the program's processes before the first\n"
                "picture and after the last one, divided by their number.\n",
                static_cast<int>(IdleWatch::period.count()), milliseconds(pictureQuietWindow));
}

std::optional<Settings> parseArguments(int argc, char** argv)
{
    Settings settings;
    const std::map<std::string, int*> options{{"--starts", &settings.starts},
                                              {"--texts", &settings.texts},
                                              {"--pictures", &settings.pictures},
                                              {"--idle", &settings.idleSeconds}};
    for (int index = 1; index < argc; index += 2) {
        const auto option = options.find(argv[index]);
        if (option == options.end() || index + 1 == argc) {
            return std::nullopt;
        }
        *option->second = std::atoi(argv[index + 1]);
        if (*option->second < (option->first == "--starts" ? 1 : 0)) {
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
        const QByteArray png = screenshotPng(3840, 2160, variant);
        pictures.emplace_back(png.constData(), static_cast<std::size_t>(png.size()));
    }
    return pictures;
}

} // namespace

int main(int argc, char** argv)
{
    const auto settings = parseArguments(argc, argv);
    if (!settings) {
        std::fprintf(stderr, "usage: %s [--starts N] [--texts N] [--pictures N] [--idle SECONDS]\n", argv[0]);
        return 2;
    }
    // Helpers left behind by a program we end come to us, so that we can end them too.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    std::vector<std::string> names{"Velmora"};
    std::vector<std::vector<std::string>> commands{{VELMORA_EXECUTABLE}};
    // Without arguments CopyQ runs its server, with its tray icon on by default.
    if (std::system("command -v copyq >/dev/null") == 0) {
        names.emplace_back("CopyQ");
        commands.push_back({"copyq"});
    } else {
        std::printf("copyq: not installed\n\n");
    }
    std::fprintf(stderr, "drawing %d pictures\n", settings->pictures);
    const auto pictures = makePictures(settings->pictures);
    const std::clock_t drawn = std::clock();
    const auto desktop = BenchDesktop::start(VELMORA_TINT2RC);
    if (!desktop) {
        return 1;
    }
    std::vector<Figures> columns;
    for (const auto& command : commands) {
        std::fprintf(stderr, "%s: measuring\n", command[0].c_str());
        columns.push_back(measure(command, *settings, pictures, *desktop));
    }
    double averageBytes = 0;
    for (const auto& picture : pictures) {
        averageBytes += static_cast<double>(picture.size()) / static_cast<double>(pictures.size());
    }
    std::printf("Pictures: %d of 3840 x 2160, %.0f KB on average.\n\n", settings->pictures, averageBytes / 1024);
    printTables(names, columns, *settings);
    std::printf("Besides drawing the pictures, the benchmark used %.1f s of CPU (following the copies, polling /proc "
                "every %d ms).\n",
                static_cast<double>(std::clock() - drawn) / CLOCKS_PER_SEC,
                static_cast<int>(IdleWatch::period.count()));
    return std::ranges::any_of(columns, [](const Figures& figures) { return !figures.failure.empty(); }) ? 1 : 0;
}
