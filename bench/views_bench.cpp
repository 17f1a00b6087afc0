
// Speed of the panel content: a refresh after a capture, a keystroke in the search field over long
// texts, and the repaint of a hovered image row.

#include "bench/sample_picture.h"
#include "bench/sample_prose.h"
#include "tests/fakes/store_on_fakes.h"
#include "views/content_view.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int entryCount = 50;

// A 3840 x 2160 picture as the clipboard hands it over: PNG bytes, decoded on first use.
ClipboardItem pictureItem()
{
    static const QByteArray bytes = encodedScreenshot(0);
    return {std::nullopt, platform::Image::fromEncoded(bytes)};
}

// 50 entries, 20 of them pictures, the oldest a text.
std::vector<ClipboardItem> mixedHistory()
{
    std::vector<ClipboardItem> history;
    for (int index = 0; index < entryCount; ++index) {
        const bool isPicture = index % 5 < 2 && index < entryCount - 1;
        history.push_back(
            isPicture ? pictureItem()
                      : ClipboardItem(QStringLiteral("Text entry number %1 with a few words").arg(index), nullptr));
    }
    return history;
}

// 50 texts of about a megabyte of prose each, none containing a 'q'.
std::vector<ClipboardItem> longTexts()
{
    std::vector<ClipboardItem> history;
    for (int index = 0; index < entryCount; ++index) {
        history.push_back({prose(1 << 20, index), nullptr});
    }
    return history;
}

/// The panel's content view over a history store on fakes, shown.
struct Panel
{
    Panel() { view.show(); }

    void setHistory(std::vector<ClipboardItem> history)
    {
        store.manager->setHistory(std::move(history));
        settle();
    }

    // The refresh, the layout it asks for and the painting of the whole card.
    void settle()
    {
        store.eventLoop.settle();
        view.render(&canvas);
    }

    [[nodiscard]] QLineEdit* searchField() { return view.findChild<QLineEdit*>(QStringLiteral("searchField")); }
    [[nodiscard]] QListView* list() { return view.findChild<QListView*>(QStringLiteral("historyList")); }

    StoreOnFakes store;
    ContentView view{*store.manager, store.eventLoop};
    QImage canvas{ContentView::cardWidth, ContentView::cardHeight, QImage::Format_ARGB32_Premultiplied};
};

/// Times `work` on a new panel each iteration; making the panel, giving it `history` and its end are not timed.
void onNewPanels(benchmark::State& state, const std::vector<ClipboardItem>& history,
                 const std::function<void(Panel&)>& work)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto panel = std::make_unique<Panel>();
        if (!history.empty()) {
            panel->setHistory(history);
        }
        state.ResumeTiming();
        work(*panel);
        state.PauseTiming();
        panel.reset();
        state.ResumeTiming();
    }
}

void FirstShowingOfFiftyEntries(benchmark::State& state)
{
    onNewPanels(state, {}, [history = mixedHistory()](Panel& panel) { panel.setHistory(history); });
}
BENCHMARK(FirstShowingOfFiftyEntries)->Unit(benchmark::kMillisecond)->Iterations(3);

void RefreshAfterACaptureOfFiftyEntries(benchmark::State& state)
{
    Panel panel;
    const auto older = mixedHistory();
    // A capture puts a new text at the front and drops the oldest entry: one new row, one gone.
    auto newer = older;
    newer.pop_back();
    newer.insert(newer.begin(), ClipboardItem(QStringLiteral("just copied"), nullptr));
    panel.setHistory(newer);
    panel.setHistory(older);
    for (bool isNewer = false; auto _ : state) {
        isNewer = !isNewer;
        panel.setHistory(isNewer ? newer : older);
    }
}
BENCHMARK(RefreshAfterACaptureOfFiftyEntries)->Unit(benchmark::kMillisecond);

// The new row's thumbnail is made as the row arrives, so that the next opening of the panel decodes nothing.
void HiddenRefreshAfterACaptureOfAPicture(benchmark::State& state)
{
    Panel panel;
    panel.setHistory(mixedHistory());
    panel.view.hide();
    for (auto _ : state) {
        state.PauseTiming();
        auto history = panel.store.manager->history();
        history.pop_back();
        history.insert(history.begin(), pictureItem());
        state.ResumeTiming();
        panel.store.manager->setHistory(std::move(history));
    }
}
BENCHMARK(HiddenRefreshAfterACaptureOfAPicture)->Unit(benchmark::kMillisecond);

void KeystrokeOverFiftyLongTexts(benchmark::State& state)
{
    Panel panel;
    panel.setHistory(longTexts());
    // No text holds a 'q': every keystroke scans all 50 texts to their end.
    QTest::keyClick(panel.searchField(), Qt::Key_Q);
    panel.settle();
    for (bool typed = false; auto _ : state) {
        typed = !typed;
        QTest::keyClick(panel.searchField(), typed ? Qt::Key_U : Qt::Key_Backspace);
        panel.settle();
    }
}
BENCHMARK(KeystrokeOverFiftyLongTexts)->Unit(benchmark::kMillisecond);

void FirstKeystrokeOverFiftyLongTexts(benchmark::State& state)
{
    onNewPanels(state, longTexts(), [](Panel& panel) {
        QTest::keyClick(panel.searchField(), Qt::Key_Q);
        panel.settle();
    });
}
BENCHMARK(FirstKeystrokeOverFiftyLongTexts)->Unit(benchmark::kMillisecond)->Iterations(3);

void RepaintOfAHoveredImageRow(benchmark::State& state)
{
    Panel panel;
    panel.setHistory({pictureItem()});
    auto* list = panel.list();
    const auto row = list->model()->index(0, 0);
    list->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect);
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.state |= QStyle::State_Selected;
    option.rect = list->visualRect(row);
    QImage canvas(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    for (auto _ : state) {
        list->itemDelegate()->paint(&painter, option, row);
    }
}
BENCHMARK(RepaintOfAHoveredImageRow)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    QApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
