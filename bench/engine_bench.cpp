// Speed of the history store: the watcher's tick, and captures of texts and pictures into a full history.
// Its memory per picture is side_by_side_bench's, measured from outside the whole program.
//
//   build/bench/engine_bench                                   all of them
//   build/bench/engine_bench --benchmark_filter=ImageCapture   one group

#include "bench/sample_picture.h"
#include "bench/sample_prose.h"
#include "tests/fakes/store_on_fakes.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

namespace {

/// A screenshot as it arrives from another application, in the file format `format`.
std::shared_ptr<const platform::Image> picture(int seed, const char* format = "png")
{
    return platform::Image::fromEncoded(encodedScreenshot(seed, {3840, 2160}, format));
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
BENCHMARK(TextCapture)->Arg(1 << 10)->Arg(1 << 20)->Arg(3 << 20)->Unit(benchmark::kMillisecond);

/// A decomposed text of that many bytes in UTF-8 ("Cafe" and a combining acute, as macOS file names come)
/// into an empty history: its canonical form must cost time in proportion to it.
void DecomposedTextCapture(benchmark::State& state)
{
    StoreOnFakes store;
    for (int seed = 0; auto _ : state) {
        state.PauseTiming();
        store.clipboard.copyText(QString::number(seed++) + QStringLiteral("Cafe\u0301").repeated(state.range(0) / 6));
        state.ResumeTiming();
        store.capture();
    }
}
BENCHMARK(DecomposedTextCapture)->Arg(1 << 20)->Arg(4 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

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

} // namespace

BENCHMARK_MAIN();
