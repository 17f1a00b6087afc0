// Copy to first read and copy to history on a private headless sway: another application (the tests'
// data-control owner, a process of its own) copies a short text again and again, while Velmora's Wayland
// clipboard and history store run in this process with their watcher. Both ends are stamped on the
// monotonic clock; prints the median and the longest, in milliseconds.
//
//   build/bench/wayland_capture_bench [--copies N]

#include "engine/clipboard_manager.h"
#include "platform/background_timer.h"
#include "platform/event_loop.h"
#include "platform/wayland/wayland_clipboard.h"
#include "tests/support/sway_compositor.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

/// The time on the first line of `output` that starts with `prefix`, where the line ends with one.
std::optional<long long> stamp(const QByteArray& output, const QByteArray& prefix)
{
    for (const auto& line : output.split('\n')) {
        if (line.startsWith(prefix)) {
            return line.mid(line.lastIndexOf(' ') + 1).toLongLong();
        }
    }
    return std::nullopt;
}

void print(const char* what, std::vector<double> milliseconds, int missed)
{
    if (milliseconds.empty()) {
        std::printf("%-40s none of them\n", what);
        return;
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("%-40s median %6.2f  max %6.2f  (%zu copies, %d missed)\n", what, milliseconds[milliseconds.size() / 2],
                milliseconds.back(), milliseconds.size(), missed);
}

} // namespace

int main(int argc, char** argv)
{
    int copies = 50;
    if (argc == 3 && std::strcmp(argv[1], "--copies") == 0) {
        copies = std::atoi(argv[2]);
    }
    const auto compositor = SwayCompositor::start();
    if (!compositor) {
        std::fprintf(stderr, "cannot start sway\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    QGuiApplication application(argc, argv);
    auto clipboard = platform::wayland::WaylandClipboard::create();
    if (!clipboard) {
        std::fprintf(stderr, "the compositor offers no data-control\n");
        return 1;
    }
    platform::QtEventLoop eventLoop;
    platform::QtBackgroundTimers timers;
    const auto manager = ClipboardManager::create(*clipboard, eventLoop, timers);
    long long changed = 0;
    // Fires just before the entry goes in; the first time for each copy.
    QObject::connect(manager.get(), &QAbstractItemModel::rowsAboutToBeInserted, manager.get(), [&] {
        if (changed == 0) {
            changed = monotonicNanoseconds();
        }
    });

    QTemporaryDir directory;
    std::vector<double> toFirstRead;
    std::vector<double> toHistory;
    int missed = 0;
    for (int copy = 0; copy < copies; ++copy) {
        const auto text = QStringLiteral("copy %1").arg(copy);
        const auto path = directory.filePath(QString::number(copy));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) != text.size()) {
            return 1;
        }
        file.close();
        changed = 0;
        QProcess owner;
        owner.start(VELMORA_SELECTION_OWNER, {"none", "text/plain;charset=utf-8", path});
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while ((manager->history().empty() || manager->history().front().text() != text) && Clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        // Printed before the owner sent the text, so there by now, unless it never was asked.
        auto output = owner.readAllStandardOutput();
        while (!stamp(output, "asked") && owner.waitForReadyRead(1000)) {
            output += owner.readAllStandardOutput();
        }
        const auto copied = stamp(output, "copied");
        const auto asked = stamp(output, "asked");
        if (!copied || !asked || changed == 0) {
            ++missed;
        } else {
            toFirstRead.push_back(static_cast<double>(*asked - *copied) / 1e6);
            toHistory.push_back(static_cast<double>(changed - *copied) / 1e6);
        }
        owner.kill();
        owner.waitForFinished();
    }
    manager->stopOptimizedClipboardListener();
    print("copy of a short text to its first read", toFirstRead, missed);
    print("copy of a short text to the history", toHistory, missed);
    return 0;
}
