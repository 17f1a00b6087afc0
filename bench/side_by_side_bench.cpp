// Velmora beside CopyQ, when it is installed: each alone on a private Xvfb with openbox and a tint2 tray,
// measured from outside only (/proc for CPU and memory, X11 for the rest), printed as one table.
//
//   build/bench/side_by_side_bench [--starts N] [--texts N] [--pictures N] [--idle SECONDS] [--hot-keys N]
//
// CopyQ is only compared with, never needed: without it the table has Velmora's column alone.

#include "bench/bench_desktop.h"
#include "bench/clipboard_copy.h"
#include "bench/program_run.h"
#include "bench/sample_picture.h"

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::vector<std::string> textTargets{"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING"};

/// Velmora's hot key to its panel drawn, false when it failed: with 50 entries (the copies so far and short texts), and
/// each time another application's copy has just been taken up, so that the GUI thread answers while the capture runs
/// (large content in increments, as applications serve it, and an owner that never answers).
bool measureHotKey(ProgramRun& program, BenchDesktop& desktop, std::unique_ptr<ClipboardCopy>& serving,
                   const std::map<std::string, int>& settings, Figures& figures)
{
    const int rounds = settings.at("--hot-keys");
    for (int entries = settings.at("--texts") + settings.at("--pictures"); entries < 50; ++entries) {
        if (!startCopy(program, serving, "Entry " + std::to_string(entries), {"UTF8_STRING"}) ||
            !serving->request(true, 10s)) {
            return false;
        }
    }
    const QByteArray line("the quick brown fox jumps over the lazy dog\n");
    const std::vector<std::tuple<std::string, std::function<QByteArray(int)>, const char*, const char*, int>> cases{
        {"", [](int) { return QByteArray(); }, "", "", rounds},
        {", capturing a 3840 x 2160 PNG", [](int round) { return encodedScreenshot(100 + round); }, "image/png",
         "none:0:65536", rounds / 3},
        {", capturing an 8000 x 8000 PNG",
         [](int round) {
             return encodedScreenshot(round, {8000, 8000 - round});
         },
         "image/png", "none:0:65536", rounds / 10},
        {", capturing a 50 MB text",
         [line](int round) { return QByteArray::number(round) + line.repeated((50 << 20) / line.size()); },
         "UTF8_STRING", "none:0:65536", rounds / 10},
        {", waiting on an owner that never answers", [](int) { return QByteArray("never sent"); }, "UTF8_STRING",
         "silent:0", rounds / 10},
    };
    // The first opening lays the panel out and finds it on the screen.
    if (!program.settle(1s, 10'000'000, 60s) || !desktop.hotKeyToPanelDrawn(5s) || !desktop.hotKeyToPanelHidden(5s)) {
        return false;
    }
    for (const auto& [title, bytes, target, plan, count] : cases) {
        for (int round = 1; round <= count; ++round) {
            const auto content = bytes(round);
            if (*target && (!startCopy(program, serving, content.toStdString(), {target}, plan) ||
                            !serving->request(false, 10s))) {
                return false;
            }
            const auto drawn = desktop.hotKeyToPanelDrawn(5s);
            // Done with the capture, or given up on the silent owner, before the next round.
            if (!drawn || !desktop.hotKeyToPanelHidden(5s) || !program.settle(1s, 10'000'000, 60s)) {
                return false;
            }
            figures["hot key to panel drawn with 50 entries" + title + ", median / max (ms)"].push_back(
                milliseconds(*drawn));
        }
    }
    return true;
}

Figures measure(const std::vector<std::string>& command, const std::map<std::string, int>& settings,
                const std::vector<std::string>& pictures, BenchDesktop& desktop, bool hasHotKey)
{
    Figures figures;
    std::unique_ptr<ProgramRun> program;
    // Ends before the next program starts, which finds the clipboard empty.
    std::unique_ptr<ClipboardCopy> serving;
    for (int run = 0; run < settings.at("--starts"); ++run) {
        program.reset();
        // The icon of the run before must be gone, or it would be taken for the new one.
        if (!waitUntil([&desktop] { return desktop.dockedIcons().empty(); }, 10s, 10ms)) {
            figures.failure = "an icon of an earlier run stays docked in the tray";
            return figures;
        }
        const auto isDocked = [&desktop](const ProgramRun&) { return !desktop.dockedIcons().empty(); };
        program = ProgramRun::start(command, "xcb", isDocked, figures.failure);
        if (!program) {
            return figures;
        }
        const auto memory = program->memory();
        figures["start to tray icon docked, median / max (ms)"].push_back(milliseconds(program->startUp()));
        figures["memory after start, PSS of all its processes (MB)"].push_back(memory.proportional);
        figures["memory after start, RSS (MB)"].push_back(memory.resident);
        figures["processes"] = {static_cast<double>(memory.processes)};
    }
    const auto [idle, wakeUps] = program->idleCpu(std::chrono::seconds(settings.at("--idle")));
    figures["CPU while idle (ms per s)"].push_back(idle);
    figures["times its threads were put on a CPU while idle (per s)"].push_back(wakeUps);

    std::mt19937 random(std::random_device{}());
    for (int text = 1; text <= settings.at("--texts"); ++text) {
        const auto content = "Side by side, text " + std::to_string(text) + ": " + std::to_string(random());
        if (!followCopy(*program, serving, content, textTargets, "copy of a small text to ", 300ms, idle, figures)) {
            return figures;
        }
    }
    const auto cpuBefore = program->threadTime().first;
    const double memoryBefore = program->memory().proportional;
    for (const auto& picture : pictures) {
        if (!followCopy(*program, serving, picture, {"image/png"}, "copy of a 3840 x 2160 PNG to ", 1s, idle,
                        figures)) {
            return figures;
        }
    }
    if (!pictures.empty()) {
        const auto count = static_cast<double>(pictures.size());
        figures["CPU per distinct 3840 x 2160 PNG (s)"].push_back(
            static_cast<double>(program->threadTime().first - cpuBefore) / 1e9 / count);
        figures["memory after the pictures, PSS (MB)"].push_back(program->memory().proportional);
        figures["growth of the PSS per picture (MB)"].push_back((program->memory().proportional - memoryBefore) /
                                                                count);
    }
    if (hasHotKey && !measureHotKey(*program, desktop, serving, settings, figures)) {
        figures.failure = "the hot key did not open and close the panel, or a copy was not taken up";
    }
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    std::map<std::string, int> settings{
        {"--starts", 5}, {"--texts", 30}, {"--pictures", 10}, {"--idle", 10}, {"--hot-keys", 30}};
    if (!readSettings(argc, argv, settings,
                      "[--starts N] [--texts N] [--pictures N] [--idle SECONDS] [--hot-keys N]")) {
        return 2;
    }
    settings["--starts"] = std::max(1, settings["--starts"]);
    std::vector<std::vector<std::string>> commands{{VELMORA_EXECUTABLE}};
    // Without arguments CopyQ runs its server, with its tray icon on by default.
    if (std::system("command -v copyq >/dev/null") == 0) {
        commands.push_back({"copyq"});
    }
    std::vector<std::string> pictures;
    for (int variant = 1; variant <= settings["--pictures"]; ++variant) {
        pictures.push_back(encodedScreenshot(variant).toStdString());
    }
    const auto desktop = BenchDesktop::start(VELMORA_TINT2RC);
    if (!desktop) {
        return 1;
    }
    std::vector<Figures> columns;
    for (const auto& command : commands) {
        std::fprintf(stderr, "measuring %s\n", command[0].c_str());
        columns.push_back(measure(command, settings, pictures, *desktop, columns.empty()));
    }
    std::printf("Over %d starts, %d texts, %d pictures of 3840 x 2160 (%zu KB the first) and %d s idle.\n\n",
                settings["--starts"], settings["--texts"], settings["--pictures"],
                pictures.empty() ? 0 : pictures.front().size() / 1024, settings["--idle"]);
    return printTable({"Velmora", "CopyQ"}, columns) ? 0 : 1;
}
