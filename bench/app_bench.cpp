// Velmora's application in this process, on a private Xvfb with openbox and a tint2 tray: launching up to
// a running watcher and a registered hot key, a hot-key press up to the panel drawn on screen, and how long
// captures of other applications' copies keep the GUI thread from its loop.

#include "app/velmora_app.h"
#include "bench/bench_desktop.h"
#include "bench/clipboard_owner.h"
#include "bench/sample_picture.h"
#include "views/content_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
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

/// Waits, processing events, until `done` holds; false once `timeout` has passed.
template <typename Condition> bool processEventsUntil(Condition done, std::chrono::milliseconds timeout = 2s)
{
    // Wakes the loop now and then, in case nothing else does.
    QTimer tick;
    tick.start(20);
    const auto deadline = Clock::now() + timeout;
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

/// How late a 5 ms timer on the GUI thread runs: the longest time the thread was kept from its loop.
class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            m_longest = std::max(m_longest, m_sinceTick.nsecsElapsed() - period.count() * 1000000);
            m_sinceTick.restart();
            ++m_ticks;
        });
    }

    void restart()
    {
        m_longest = 0;
        m_sinceTick.start();
        m_timer.start(period);
    }
    /// The longest lateness so far, once the timer has run again: a stall is known only at the tick after it.
    [[nodiscard]] double longestMilliseconds()
    {
        const auto ticks = m_ticks;
        processEventsUntil([&] { return m_ticks > ticks; });
        return static_cast<double>(m_longest) / 1e6;
    }

private:
    static constexpr auto period = 5ms;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
    int m_ticks = 0;
};

/// Writes `bytes` to a file of `directory`, for xclip to copy; its path, or nothing when it cannot be written.
std::optional<QString> writeCopy(const QTemporaryDir& directory, const QByteArray& bytes)
{
    static int written = 0;
    const auto path = directory.filePath(QString::number(++written));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        return std::nullopt;
    }
    return path;
}

/// Copies the file at `path` as `target` with xclip, which serves it, INCR included, from a process of its
/// own; returns at once, so that the GUI thread measured is not the one that waits for xclip.
bool copyWithXclip(const QString& path, const char* target)
{
    QProcess xclip;
    xclip.setProgram(QStringLiteral("xclip"));
    xclip.setArguments({QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                        QLatin1String(target), QStringLiteral("-i"), path});
    // It outlives the benchmark's pipes.
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.setStandardErrorFile(QProcess::nullDevice());
    return xclip.startDetached();
}

/// Other applications copy what costs most to capture, one after the other; each counter is the longest
/// lateness of the GUI thread's timer while that copy was captured.
void GuiThreadStallDuringCaptures(benchmark::State& state)
{
    VelmoraApp velmora;
    velmora.appDelegate().applicationDidFinishLaunching();
    const auto& manager = velmora.appDelegate().clipboardManager();
    const QTemporaryDir directory;
    struct Copy
    {
        const char* name;
        std::optional<QString> path;
        const char* target;
    };
    // Distinct pictures and texts in every round, so that each round captures them anew.
    const auto copiesOfRound = [&directory](int round) {
        const auto screenshot = screenshotPng(3840, 2160, 2 * round + 1);
        const QByteArray line("the quick brown fox jumps over the lazy dog\n");
        const auto text =
            writeCopy(directory, QByteArray::number(round) + line.repeated(50 * 1024 * 1024 / line.size()));
        return std::vector<Copy>{
            {"4k_png_1_ms", writeCopy(directory, screenshot), "image/png"},
            {"4k_png_2_ms", writeCopy(directory, screenshotPng(3840, 2160, 2 * round + 2)), "image/png"},
            // The first screenshot again, in other bytes: a duplicate, which only its pixels tell.
            {"4k_png_1_recompressed_ms", writeCopy(directory, recompressedPng(screenshot)), "image/png"},
            {"8000x8000_png_ms", writeCopy(directory, gradientPng(8000, 8000 - round)), "image/png"},
            {"50mb_text_ms", text, "UTF8_STRING"},
            {"50mb_text_again_ms", text, "UTF8_STRING"},
        };
    };
    StallMeter meter;
    int round = 0;
    for (auto _ : state) {
        // The machine's own lateness, with no copy at all: what the figures below cannot go under.
        meter.restart();
        processEventsUntil([] { return false; }, 4s);
        state.counters["no_copy_ms"] = std::max(state.counters["no_copy_ms"].value, meter.longestMilliseconds());
        double longest = 0;
        for (const auto& copy : copiesOfRound(round++)) {
            const auto front = manager.history().empty() ? QUuid() : manager.history().front().id();
            if (!copy.path || !copyWithXclip(*copy.path, copy.target)) {
                state.SkipWithError("xclip did not start");
                return;
            }
            // From here on: starting xclip forks this process, which is the benchmark's cost, not Velmora's.
            meter.restart();
            const auto captured = processEventsUntil(
                [&] { return !manager.history().empty() && manager.history().front().id() != front; }, 30s);
            if (!captured) {
                state.SkipWithError((std::string("not captured: ") + copy.name).c_str());
                return;
            }
            const auto stall = meter.longestMilliseconds();
            state.counters[copy.name] = std::max(state.counters[copy.name].value, stall);
            longest = std::max(longest, stall);
        }
        // An owner that takes the clipboard and never answers: given up on, then asked once more.
        auto silent = ClipboardOwner::open();
        if (!silent || !silent->copy({{"UTF8_STRING"}, "never sent"})) {
            state.SkipWithError("the silent owner did not take the clipboard");
            return;
        }
        meter.restart();
        processEventsUntil([] { return false; }, 4s);
        const auto stall = meter.longestMilliseconds();
        state.counters["silent_owner_ms"] = std::max(state.counters["silent_owner_ms"].value, stall);
        longest = std::max(longest, stall);
        state.SetIterationTime(longest / 1000);
    }
}
BENCHMARK(GuiThreadStallDuringCaptures)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

/// The hot key pressed while the watcher reads and decodes a distinct 4K screenshot, up to the panel drawn.
void HotKeyToPanelDuringA4kCapture(benchmark::State& state)
{
    VelmoraApp velmora;
    AppDelegate& delegate = velmora.appDelegate();
    delegate.applicationDidFinishLaunching();
    const auto& manager = delegate.clipboardManager();
    QWidget* panel = delegate.panel();
    auto* content = panel ? panel->findChild<ContentView*>() : nullptr;
    if (!content) {
        state.SkipWithError("no panel content");
        return;
    }
    PaintCounter counter;
    content->installEventFilter(&counter);
    g_client->movePointer(720, 450);
    const QTemporaryDir directory;
    int variant = 10;
    for (auto _ : state) {
        state.PauseTiming();
        const auto count = manager.lastChangeCount();
        const auto size = manager.history().size();
        // Once the watcher has taken up the change it reads and decodes for some 100 ms.
        const auto path = writeCopy(directory, screenshotPng(3840, 2160, ++variant));
        if (!path || !copyWithXclip(*path, "image/png") ||
            !processEventsUntil([&] { return manager.lastChangeCount() != count; }, 5s)) {
            state.SkipWithError("the copy was not seen");
            return;
        }
        counter.paints = 0;
        const auto start = Clock::now();
        g_client->pressHotKey();
        if (!processEventsUntil([&] { return counter.paints > 0; }, 5s)) {
            state.SkipWithError("the hot key did not open the panel");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["captured_before_panel"] += manager.history().size() != size ? 1 : 0;
        g_client->pressHotKey();
        if (!processEventsUntil([&] { return !panel->isVisible() && manager.history().size() != size; }, 5s)) {
            state.SkipWithError("the panel did not close or the picture was not captured");
            return;
        }
        state.ResumeTiming();
    }
}
BENCHMARK(HotKeyToPanelDuringA4kCapture)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

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
