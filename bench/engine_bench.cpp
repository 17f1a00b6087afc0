// Speed and memory of the history store: the watcher's tick, and captures of texts and pictures into a
// full history.
//
//   build/bench/engine_bench                                   all of them
//   build/bench/engine_bench --benchmark_filter=ImageCapture   one group

#include "engine/clipboard_manager.h"

#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr QSize screen4k(3840, 2160);

struct Store
{
    Store() : manager(ClipboardManager::create(clipboard, eventLoop, timers)) {}

    /// One capture of what `copy` put on the clipboard, as the watcher would run it.
    void capture()
    {
        timers.fire();
        eventLoop.runPending();
    }

    FakeClipboard clipboard;
    FakeEventLoop eventLoop;
    FakeBackgroundTimers timers;
    std::shared_ptr<ClipboardManager> manager;
};

/// Text of about `size` UTF-16 units that looks like prose, with accented letters, distinct per `seed`
/// from its first line on.
QString prose(qsizetype size, int seed)
{
    static const QString words[] = {"clipboard",        "history", "caf\u00e9", "na\u00efve",  "window", "entry",
                                    "r\u00e9sum\u00e9", "pointer", "panel",     "stra\u00dfe", "image",  "text"};
    QString text = QString::number(seed) + ": ";
    text.reserve(size + 16);
    QRandomGenerator random(static_cast<quint32>(seed));
    while (text.size() < size) {
        text += words[random.bounded(static_cast<int>(std::size(words)))];
        text += random.bounded(12) == 0 ? QChar('\n') : QChar(' ');
    }
    text.truncate(size);
    return text.trimmed();
}

/// A picture that compresses like a screenshot: flat panels, bars of glyph-like marks, a gradient.
QImage screenshot(int seed)
{
    QImage image(screen4k, QImage::Format_RGB32);
    QRandomGenerator random(static_cast<quint32>(seed) * 7919u + 1u);
    image.fill(QColor::fromHsv(random.bounded(360), 30, 235));
    QPainter painter(&image);
    for (int panel = 0; panel < 6; ++panel) {
        const QRect area(random.bounded(3000), random.bounded(1600), 400 + random.bounded(1400),
                         200 + random.bounded(900));
        painter.fillRect(area, QColor::fromHsv(random.bounded(360), 20 + random.bounded(60), 200 + random.bounded(55)));
        for (int y = area.top() + 12; y < area.bottom() - 12; y += 22) {
            for (int x = area.left() + 10; x < area.right() - 10; x += 9) {
                if (random.bounded(5) != 0) {
                    painter.fillRect(QRect(x, y, 6, 12 - random.bounded(6)), QColor(30, 30, 30 + random.bounded(40)));
                }
            }
        }
    }
    QLinearGradient gradient(0, 0, screen4k.width(), 0);
    gradient.setColorAt(0, QColor::fromHsv(random.bounded(360), 200, 200));
    gradient.setColorAt(1, QColor::fromHsv(random.bounded(360), 200, 120));
    painter.fillRect(QRect(0, 0, screen4k.width(), 60), gradient);
    painter.end();
    return image;
}

std::shared_ptr<const platform::Image> encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return platform::Image::fromEncoded(bytes);
}

/// A screenshot as it arrives from another application.
std::shared_ptr<const platform::Image> picture(int seed)
{
    return encoded(screenshot(seed), "png");
}

/// Resident and peak resident memory of this process, in MB.
std::pair<double, double> residentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::pair<double, double> megabytes;
    for (std::string line; std::getline(status, line);) {
        const double value = std::atof(line.c_str() + line.find(':') + 1) / 1024;
        megabytes.first = line.starts_with("VmRSS:") ? value : megabytes.first;
        megabytes.second = line.starts_with("VmHWM:") ? value : megabytes.second;
    }
    return megabytes;
}

void TickWhenNothingChanged(benchmark::State& state)
{
    Store store;
    const auto& tick = *store.timers.timers().front();
    for (auto _ : state) {
        tick();
    }
    if (store.eventLoop.pendingCount() != 0) {
        state.SkipWithError("a tick submitted a capture");
    }
}
BENCHMARK(TickWhenNothingChanged);

/// Fills the history with 50 copies of `fill(seed)`, then captures one `next(seed)` each iteration from
/// `firstSeed` on, timing only the capture; the history must stay full.
void captureIntoFullHistory(benchmark::State& state, const std::function<void(FakeClipboard&, int)>& fill,
                            const std::function<void(FakeClipboard&, int)>& next, int firstSeed, const char* error)
{
    Store store;
    for (int seed = 0; seed < ClipboardManager::maxHistory; ++seed) {
        fill(store.clipboard, seed);
        store.capture();
    }
    int seed = firstSeed;
    for (auto _ : state) {
        state.PauseTiming();
        next(store.clipboard, seed++);
        state.ResumeTiming();
        store.capture();
    }
    if (store.manager->history().size() != static_cast<std::size_t>(ClipboardManager::maxHistory)) {
        state.SkipWithError(error);
    }
}

void copyPicture(FakeClipboard& clipboard, int seed)
{
    clipboard.copyImages(platform::Clipboard::Images{picture(seed)});
}

void TextCapture(benchmark::State& state)
{
    const auto copy = [size = static_cast<qsizetype>(state.range(0))](FakeClipboard& clipboard, int seed) {
        clipboard.copyText(prose(size, seed));
    };
    captureIntoFullHistory(state, copy, copy, ClipboardManager::maxHistory, "the history is not full");
}
BENCHMARK(TextCapture)->Arg(1 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

/// A new picture of 3840 x 2160 into a full history of 50 distinct ones of that size, built by captures.
void ImageCapture(benchmark::State& state)
{
    captureIntoFullHistory(state, copyPicture, copyPicture, ClipboardManager::maxHistory, "the history is not full");
}
BENCHMARK(ImageCapture)->Iterations(10)->Unit(benchmark::kMillisecond);

/// The same picture again in other bytes: found by its digest, confirmed pixel by pixel.
void ImageCaptureOfADuplicate(benchmark::State& state)
{
    const auto copyAsBmp = [](FakeClipboard& clipboard, int seed) {
        clipboard.copyImages(platform::Clipboard::Images{encoded(screenshot(seed), "bmp")});
    };
    captureIntoFullHistory(state, copyPicture, copyAsBmp, 0, "a duplicate was not found");
}
BENCHMARK(ImageCaptureOfADuplicate)->Iterations(5)->Unit(benchmark::kMillisecond);

/// Resident memory of a process whose history holds 50 distinct 3840 x 2160 pictures.
void ResidentMemoryOfFiftyPictures(benchmark::State& state)
{
    for (auto _ : state) {
        // Loads the image plugins and warms the allocator, as a running Velmora has.
        benchmark::DoNotOptimize(picture(999)->tiffRepresentation());
        const auto baseline = residentMegabytes().first;
        Store store;
        double encodedMegabytes = 0;
        for (int seed = 0; seed < ClipboardManager::maxHistory; ++seed) {
            auto image = picture(1000 + seed);
            encodedMegabytes += static_cast<double>(image->encodedBytes().size()) / (1024 * 1024);
            store.clipboard.copyImages(platform::Clipboard::Images{std::move(image)});
            store.capture();
        }
        store.clipboard.setContent(std::nullopt, std::nullopt);
        const auto [resident, peak] = residentMegabytes();
        state.counters["baseline_resident_MB"] = baseline;
        state.counters["resident_MB"] = resident;
        state.counters["peak_resident_MB"] = peak;
        state.counters["encoded_MB"] = encodedMegabytes;
        state.counters["decoded_MB"] = 50.0 * screen4k.width() * screen4k.height() * 4 / (1024 * 1024);
    }
}
BENCHMARK(ResidentMemoryOfFiftyPictures)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
