// The velmora executable from outside, on a private Xvfb with openbox and a tint2 tray, with 50 entries in its
// history: the hot key to the panel drawn on screen, when idle and while Velmora captures what other
// applications copy, among it content that costs most to capture and an owner that never answers.

#include "bench/bench_desktop.h"
#include "bench/clipboard_copy.h"
#include "bench/program_run.h"
#include "bench/sample_picture.h"

#include <QByteArray>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/prctl.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

BenchDesktop* g_desktop = nullptr;
ProgramRun* g_velmora = nullptr;

/// What another application copies, distinct in every round so that each is captured anew.
enum class Content
{
    Screenshot,
    Huge,
    LongText,
    Silent
};

/// A copy of `content` for `round`, served by another process as applications serve large content, in
/// increments.
std::unique_ptr<ClipboardCopy> copyOf(Content content, int round)
{
    const QByteArray line("the quick brown fox jumps over the lazy dog\n");
    const QByteArray bytes = content == Content::Screenshot ? screenshotPng(3840, 2160, 100 + round)
                             : content == Content::Huge     ? gradientPng(8000, 8000 - round)
                             : content == Content::LongText
                                 ? QByteArray::number(round) + line.repeated(50 * 1024 * 1024 / line.size())
                                 : QByteArray("never sent");
    const auto file = g_velmora->file("copy");
    std::ofstream(file, std::ios::binary).write(bytes.constData(), bytes.size());
    const std::vector<std::string> targets{content == Content::Screenshot || content == Content::Huge ? "image/png"
                                                                                                      : "UTF8_STRING"};
    return std::make_unique<ClipboardCopy>(targets, file, g_velmora->file("owner-" + std::to_string(round) + ".log"),
                                           content == Content::Silent ? "silent:0" : "none:0:65536");
}

/// Waits until the request that `done` looks for has come; false after 10 s.
template <typename Condition> bool waitForRequest(ClipboardCopy& copy, Condition done)
{
    for (const auto deadline = Clock::now() + 10s; Clock::now() < deadline; std::this_thread::sleep_for(1ms)) {
        if (std::ranges::any_of(copy.requests(), done)) {
            return true;
        }
    }
    return false;
}

/// Presses the hot key, times it to the panel drawn, and closes the panel again.
bool timeHotKey(benchmark::State& state)
{
    const auto elapsed = g_desktop->hotKeyToPanelDrawn(5s);
    if (!elapsed || !g_desktop->hotKeyToPanelHidden(5s)) {
        state.SkipWithError("the hot key did not open and close the panel");
        return false;
    }
    state.SetIterationTime(std::chrono::duration<double>(*elapsed).count());
    return true;
}

void HotKeyToPanelWith50Entries(benchmark::State& state)
{
    for (auto _ : state) {
        if (!timeHotKey(state)) {
            return;
        }
    }
}
BENCHMARK(HotKeyToPanelWith50Entries)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

/// The hot key pressed once Velmora has taken up another application's copy, up to the panel drawn: the GUI
/// thread's answer while the capture runs.
void HotKeyToPanelDuringCapture(benchmark::State& state, Content content)
{
    static int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto copy = copyOf(content, ++round);
        if (!copy->taken() || !waitForRequest(*copy, [](const auto&) { return true; })) {
            state.SkipWithError("the copy was not taken up");
            return;
        }
        state.ResumeTiming();
        if (!timeHotKey(state)) {
            return;
        }
        state.PauseTiming();
        // Done with the capture, or given up on the silent owner, before the next round.
        if (!g_velmora->settle(1s, 10'000'000, 60s)) {
            state.SkipWithError("Velmora did not settle after the copy");
            return;
        }
        state.ResumeTiming();
    }
}
BENCHMARK_CAPTURE(HotKeyToPanelDuringCapture, 3840x2160_png, Content::Screenshot)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HotKeyToPanelDuringCapture, 8000x8000_png, Content::Huge)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HotKeyToPanelDuringCapture, 50mb_text, Content::LongText)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HotKeyToPanelDuringCapture, silent_owner, Content::Silent)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

/// 50 entries as a day of copying leaves them: 40 texts of various lengths and 10 screenshots, each read
/// before the next copy.
bool fillHistory()
{
    for (int index = 0; index < 50; ++index) {
        const auto file = g_velmora->file("copy");
        const bool isPicture = index % 5 == 2;
        const QByteArray bytes = isPicture
                                     ? screenshotPng(1920, 1080, index)
                                     : "Entry " + QByteArray::number(index) + ": " + QByteArray(20 + index * 7, 'x');
        std::ofstream(file, std::ios::binary).write(bytes.constData(), bytes.size());
        const auto log = g_velmora->file("filler-" + std::to_string(index) + ".log");
        ClipboardCopy copy({isPicture ? "image/png" : "UTF8_STRING"}, file, log);
        if (!copy.taken() || !waitForRequest(copy, &ClipboardCopy::Request::isForData)) {
            return false;
        }
    }
    return g_velmora->settle(1s, 10'000'000, 60s);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // Helpers left behind by Velmora come to us, so that we can end them too.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    // Draws the pictures off screen; Velmora runs on the private desktop.
    int qtArgc = 3;
    char name[] = "app_bench";
    char platformOption[] = "-platform";
    char platform[] = "offscreen";
    char* qtArgv[] = {name, platformOption, platform, nullptr};
    QGuiApplication application(qtArgc, qtArgv);
    const auto desktop = BenchDesktop::start(VELMORA_TINT2RC);
    std::string failure;
    const auto velmora = desktop ? ProgramRun::start({VELMORA_EXECUTABLE}, *desktop, failure) : nullptr;
    if (!velmora) {
        std::fprintf(stderr, "Velmora did not start: %s\n", failure.c_str());
        return 1;
    }
    g_desktop = desktop.get();
    g_velmora = velmora.get();
    // Where the panel opens: under the pointer, whole on the screen.
    desktop->movePointer(720, 450);
    // The first opening lays the panel out and finds it on the screen; the benchmarks time the next ones.
    if (!fillHistory() || !desktop->hotKeyToPanelDrawn(5s) || !desktop->hotKeyToPanelHidden(5s)) {
        std::fprintf(stderr, "the history was not filled, or the hot key did not open the panel\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
