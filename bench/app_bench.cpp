// Velmora's application in this process, on a private Xvfb with openbox and a tint2 tray: launching up to
// a running watcher and a registered hot key, and a hot-key press up to the panel drawn on screen.

#include "app/velmora_app.h"
#include "bench/x_client.h"
#include "tests/support/x_server.h"
#include "views/content_view.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::unique_ptr<XClient> g_client;

// 50 entries as a day of copying leaves them: 40 texts of various lengths and 10 screenshots.
std::vector<ClipboardItem> fiftyEntries()
{
    QImage screenshot(1920, 1080, QImage::Format_RGB32);
    QPainter painter(&screenshot);
    QLinearGradient gradient(0, 0, screenshot.width(), screenshot.height());
    gradient.setColorAt(0, QColor(30, 60, 150));
    gradient.setColorAt(1, QColor(240, 180, 90));
    painter.fillRect(screenshot.rect(), gradient);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    screenshot.save(&buffer, "PNG");

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
template <typename Condition>
bool processEventsUntil(Condition done)
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

void BM_LaunchToWatcherAndHotKey(benchmark::State& state)
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
BENCHMARK(BM_LaunchToWatcherAndHotKey)->Unit(benchmark::kMillisecond);

void BM_HotKeyToPanelWith50Entries(benchmark::State& state)
{
    VelmoraApp velmora;
    AppDelegate& delegate = velmora.appDelegate();
    delegate.applicationDidFinishLaunching();
    delegate.clipboardManager().setHistory(fiftyEntries());
    auto* panel = dynamic_cast<QWidget*>(delegate.panel());
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
BENCHMARK(BM_HotKeyToPanelWith50Entries)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const auto server = XServer::start(XServer::WindowManager::Openbox);
    if (!server) {
        std::fprintf(stderr, "cannot start Xvfb with openbox\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Without a session bus Qt takes the XEmbed tray that tint2 hosts.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    pid_t tray = 0;
    const char* trayArguments[] = {"/usr/bin/tint2", "-c", VELMORA_TINT2RC, nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn(&tray, trayArguments[0], &quiet, nullptr, const_cast<char**>(trayArguments), environ);
    posix_spawn_file_actions_destroy(&quiet);
    g_client = XClient::open();
    for (int attempt = 0; attempt < 100 && g_client && !g_client->hasSystemTray(); ++attempt) {
        std::this_thread::sleep_for(50ms);
    }
    int status = 1;
    if (g_client && g_client->hasSystemTray()) {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Velmora"));
        QApplication::setQuitOnLastWindowClosed(false);
        benchmark::RunSpecifiedBenchmarks();
        status = 0;
    } else {
        std::fprintf(stderr, "no X client or no tray host\n");
    }
    g_client.reset();
    if (tray > 0) {
        kill(tray, SIGTERM);
        waitpid(tray, nullptr, 0);
    }
    benchmark::Shutdown();
    return status;
}
