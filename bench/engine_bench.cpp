// Speed and memory of the history store: the watcher's tick, and captures of texts and pictures into a
// full history.
//
//   build/bench/engine_bench                                   all of them
//   build/bench/engine_bench --benchmark_filter=ImageCapture   one group

#include "bench/sample_picture.h"
#include "tests/fakes/store_on_fakes.h"

#include <QImage>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

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

/// A screenshot as it arrives from another application, in the file format `format`.
std::shared_ptr<const platform::Image> picture(int seed, const char* format = "png")
{
    return platform::Image::fromEncoded(encodedScreenshot(seed, {3840, 2160}, format));
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
    StoreOnFakes store;
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
                            const std::function<void(FakeClipboard&, int)>& next, int firstSeed)
{
    StoreOnFakes store;
    for (int seed = 0; seed < ClipboardManager::maxHistory; ++seed) {
        fill(store.clipboard, seed);
        store.capture();
    }
    for (int seed = firstSeed; auto _ : state) {
        state.PauseTiming();
        next(store.clipboard, seed++);
        state.ResumeTiming();
        store.capture();
    }
    if (store.manager->history().size() != static_cast<std::size_t>(ClipboardManager::maxHistory)) {
        state.SkipWithError("the history is not full");
    }
}

std::function<void(FakeClipboard&, int)> copyPicture(const char* format = "png")
{
    return [format](FakeClipboard& clipboard, int seed) {
        clipboard.copyImages(platform::Clipboard::Images{picture(seed, format)});
    };
}

void TextCapture(benchmark::State& state)
{
    const auto copy = [size = static_cast<qsizetype>(state.range(0))](FakeClipboard& clipboard, int seed) {
        clipboard.copyText(prose(size, seed));
    };
    captureIntoFullHistory(state, copy, copy, ClipboardManager::maxHistory);
}
BENCHMARK(TextCapture)->Arg(1 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

/// A new picture of 3840 x 2160 into a full history of 50 distinct ones of that size, built by captures.
void ImageCapture(benchmark::State& state)
{
    captureIntoFullHistory(state, copyPicture(), copyPicture(), ClipboardManager::maxHistory);
}
BENCHMARK(ImageCapture)->Iterations(10)->Unit(benchmark::kMillisecond);

/// The same picture again in other bytes: found by its digest, confirmed pixel by pixel.
void ImageCaptureOfADuplicate(benchmark::State& state)
{
    captureIntoFullHistory(state, copyPicture(), copyPicture("bmp"), 0);
}
BENCHMARK(ImageCaptureOfADuplicate)->Iterations(5)->Unit(benchmark::kMillisecond);

/// Resident memory of a process whose history holds 50 distinct 3840 x 2160 pictures.
void ResidentMemoryOfFiftyPictures(benchmark::State& state)
{
    for (auto _ : state) {
        // Loads the image plugins and warms the allocator, as a running Velmora has.
        benchmark::DoNotOptimize(picture(999)->tiffRepresentation());
        const auto baseline = residentMegabytes().first;
        StoreOnFakes store;
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
        state.counters["decoded_MB"] = 50.0 * 3840 * 2160 * 4 / (1024 * 1024);
    }
}
BENCHMARK(ResidentMemoryOfFiftyPictures)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
