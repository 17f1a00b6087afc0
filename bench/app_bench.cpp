// Velmora's application in this process, on a private Xvfb with openbox and a tint2 tray: launching up to
// a running watcher and a registered hot key, and a hot-key press up to the panel drawn on screen.

#include "app/velmora_app.h"
#include "bench/bench_desktop.h"
#include "bench/sample_picture.h"
#include "views/content_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

XClient* g_client = nullptr;

// 50 entries as a day of copying leaves them: 40 texts of various lengths and 10 screenshots.
std::vector<ClipboardItem> fiftyEntries()
{
    const QByteArray png = gradientPng(1920, 1080);
    std::vector<ClipboardItem> items;
    for (int index = 0; index < 50; ++index) {
        if (index % 5 == 2) {
            items.emplace_back(std::nullopt, platform::Image::fromEncoded(png));
        } else {
            items.emplace_back(QStringLiteral("Entry %1: ").arg(index) + QString(20 + index * 7, QLatin1Char('x')),
                               nullptr);
        }
    }
    return items;
}

/// Waits, processing events, until `done` holds; false after two seconds.
template <typename Condition> bool processEventsUntil(Condition done)
{
    // Wakes the loop now and then, in case nothing else does.
    QTimer tick;
    tick.start(20);
    const auto deadline = Clock::now() + 2s;
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

/// Counts the paints of a widget.
class PaintCounter final : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

void LaunchToWatcherAndHotKey(benchmark::State& state)
{
    for (auto _ : state) {
        auto velmora = std::make_unique<VelmoraApp>();
        velmora->appDelegate().applicationDidFinishLaunching();
        state.PauseTiming();
        velmora.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(LaunchToWatcherAndHotKey)->Unit(benchmark::kMillisecond);

void HotKeyToPanelWith50Entries(benchmark::State& state)
{
    VelmoraApp velmora;
    AppDelegate& delegate = velmora.appDelegate();
    delegate.applicationDidFinishLaunching();
    delegate.clipboardManager().setHistory(fiftyEntries());
    QWidget* panel = delegate.panel();
    auto* content = panel ? panel->findChild<ContentView*>() : nullptr;
    if (!content) {
        state.SkipWithError("no panel content");
        return;
    }
    // The refresh after a capture runs while the panel is hidden, long before the user presses the key.
    QCoreApplication::processEvents();
    PaintCounter counter;
    content->installEventFilter(&counter);
    g_client->movePointer(720, 450);

    bool first = true;
    for (auto _ : state) {
        counter.paints = 0;
        const auto start = Clock::now();
        g_client->pressHotKey();
        if (!processEventsUntil([&] { return counter.paints > 0; })) {
            state.SkipWithError("the hot key did not open the panel");
            return;
        }
        const auto elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(elapsed);
        // The first opening lays out and paints the whole list for the first time.
        if (first) {
            state.counters["first_open_ms"] = elapsed * 1000;
            first = false;
        }
        g_client->pressHotKey();
        if (!processEventsUntil([&] { return !panel->isVisible(); })) {
            state.SkipWithError("the hot key did not close the panel");
            return;
        }
        std::this_thread::sleep_for(50ms);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(HotKeyToPanelWith50Entries)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const auto desktop = BenchDesktop::start(VELMORA_TINT2RC);
    if (!desktop) {
        return 1;
    }
    g_client = &desktop->client();
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Velmora"));
        QApplication::setQuitOnLastWindowClosed(false);
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}
