#include "views/content_view.h"

#include "engine/clipboard_manager.h"
#include "tests/fakes/fake_event_loop.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_background_timers.h"
#include "views/clipboard_item_view.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

using namespace std::chrono_literals;

namespace {

ClipboardItem textItem(const char* text)
{
    return {QString::fromUtf8(text), nullptr};
}

ClipboardItem imageItem()
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return {std::nullopt, platform::Image::fromQImage(image)};
}

class ContentViewTest : public ::testing::Test
{
protected:
    ContentViewTest()
    {
        view.show();
        settle();
    }

    void setHistory(std::vector<ClipboardItem> items)
    {
        manager->setHistory(std::move(items));
        settle();
    }

    void settle() { eventLoop.settle(); }

    // The rows a user sees, top to bottom.
    [[nodiscard]] QList<ClipboardItemView*> rows() const
    {
        auto shown = view.findChildren<ClipboardItemView*>();
        shown.removeIf([this](ClipboardItemView* row) { return !row->isVisibleTo(&view); });
        std::sort(shown.begin(), shown.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
        return shown;
    }

    [[nodiscard]] std::vector<ClipboardItem> listed() const
    {
        std::vector<ClipboardItem> items;
        for (auto* row : rows()) {
            items.push_back(row->item());
        }
        return items;
    }

    // The middle region's message, or nothing when the list is shown instead.
    [[nodiscard]] std::optional<QString> message() const
    {
        auto* label = view.findChild<QLabel*>(QStringLiteral("emptyMessage"));
        EXPECT_NE(label->isVisible(), list()->isVisible());
        return label->isVisible() ? std::optional(label->text()) : std::nullopt;
    }

    [[nodiscard]] QScrollArea* list() const { return view.findChild<QScrollArea*>(QStringLiteral("historyList")); }
    [[nodiscard]] QLineEdit* searchField() const { return view.findChild<QLineEdit*>(QStringLiteral("searchField")); }
    [[nodiscard]] QWidget* clearButton() const { return view.findChild<QWidget*>(QStringLiteral("clearButton")); }

    FakeClipboard clipboard;
    FakeEventLoop eventLoop;
    FakeBackgroundTimers timers;
    std::shared_ptr<ClipboardManager> manager = ClipboardManager::create(clipboard, eventLoop, timers);
    std::vector<QString> pastes;
    // The paste step notes what copy back has left on the clipboard by then.
    ContentView view{*manager, eventLoop, [this] { pastes.push_back(clipboard.currentText().value_or(QString())); }, [] {}};
};

TEST_F(ContentViewTest, MixedHistoryListsEveryEntryNewestFirstEachFollowedByASeparatorAfterOneRefresh)
{
    const std::vector history = {textItem("newest"), imageItem(), textItem("middle\nline"), textItem("oldest")};
    // A capture changes the history in steps; the view refreshes once, after the last.
    manager->setHistory({history[1], history[2], history[3]});
    manager->setHistory(history);
    manager->setSearchText(QString());
    EXPECT_EQ(eventLoop.runPending(), 1u);
    settle();
    EXPECT_EQ(message(), std::nullopt);
    EXPECT_EQ(listed(), history);
    EXPECT_EQ(rows()[1]->height(), 56);
    for (auto* row : rows()) {
        auto* below = row->parentWidget()->childAt(row->width() / 2, row->geometry().bottom() + 1);
        ASSERT_NE(below, nullptr);
        EXPECT_EQ(qobject_cast<ClipboardItemView*>(below), nullptr);
        EXPECT_EQ(below->height(), 1);
    }
}

TEST_F(ContentViewTest, SearchListsTheTextEntriesThatContainItAsTypedAndClearKeepsIt)
{
    EXPECT_EQ(message(), QStringLiteral("Clipboard is empty"));
    const auto upper = textItem("xxABCyy word");
    const auto spaced = textItem("ab c");
    const auto image = imageItem();
    const auto single = textItem("single");
    setHistory({upper, spaced, image, single});
    const struct
    {
        const char* search;
        std::vector<ClipboardItem> listed;
    } cases[] = {
        {"abc", {upper}},  {" ", {upper, spaced}},
        {"b c", {spaced}}, {"single ", {}},
        {"zzz", {}},       {"", {upper, spaced, image, single}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.search);
        manager->setSearchText(QString::fromUtf8(testCase.search));
        settle();
        EXPECT_EQ(searchField()->text(), QString::fromUtf8(testCase.search));
        EXPECT_EQ(listed(), testCase.listed);
        EXPECT_EQ(message(), testCase.listed.empty() ? std::optional(QStringLiteral("No matches")) : std::nullopt);
    }

    QTest::keyClicks(searchField(), QStringLiteral("zzz"));
    EXPECT_EQ(manager->searchText(), QStringLiteral("zzz"));
    QTest::mouseClick(clearButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(message(), QStringLiteral("Clipboard is empty"));
    EXPECT_EQ(searchField()->text(), QStringLiteral("zzz"));
}

TEST_F(ContentViewTest, FiftyEntriesScrollBetweenAFixedHeaderAndFooter)
{
    std::vector<ClipboardItem> history;
    for (int index = 0; index < 50; ++index) {
        history.push_back(index % 5 == 0 ? imageItem() : textItem(QByteArray::number(index).constData()));
    }
    setHistory(history);
    auto* clear = clearButton();
    const auto top = [this](QWidget* widget) { return widget->mapTo(&view, QPoint()).y(); };
    const auto searchTop = top(searchField());
    const auto clearTop = top(clear);
    EXPECT_EQ(clearTop + clear->height(), 420 - 8);

    auto* scrollBar = list()->verticalScrollBar();
    EXPECT_GT(scrollBar->maximum(), 0);
    scrollBar->setValue(scrollBar->maximum());
    QCoreApplication::processEvents();
    auto* last = rows().back();
    EXPECT_LE(last->mapTo(list()->viewport(), QPoint(0, last->height())).y(), list()->viewport()->height());
    EXPECT_EQ(top(searchField()), searchTop);
    EXPECT_EQ(top(clear), clearTop);
}

TEST_F(ContentViewTest, ARowKeepsItsHoverWhileListedAndItsClickCopiesTheEntryBackThenPastes)
{
    const auto kept = textItem("kept");
    setHistory({textItem("other"), kept});
    auto* row = rows()[1];
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(row, &enter);
    ASSERT_TRUE(row->isHovered());

    setHistory({textItem("new"), manager->history()[0], kept});
    EXPECT_EQ(rows()[2], row);
    EXPECT_TRUE(row->isHovered());
    QTest::mouseClick(row, Qt::LeftButton);
    EXPECT_EQ(pastes, std::vector{QStringLiteral("kept")});

    // Filtered out and back: a new row, not hovered.
    manager->setSearchText(QStringLiteral("other"));
    settle();
    manager->setSearchText(QString());
    settle();
    ASSERT_EQ(rows().size(), 3);
    EXPECT_EQ(rows()[2]->item(), kept);
    EXPECT_FALSE(rows()[2]->isHovered());
}

TEST_F(ContentViewTest, SearchFieldTakesTheFocusATenthOfASecondAfterEachShowing)
{
    // The offscreen platform does not activate a window shown again: what is checked is the window's focus
    // widget, the one that gets the keyboard once the window is active.
    for (const char* showing : {"first", "again"}) {
        SCOPED_TRACE(showing);
        searchField()->clearFocus();
        eventLoop.advance(99ms);
        EXPECT_NE(view.focusWidget(), searchField());
        eventLoop.advance(1ms);
        EXPECT_EQ(view.focusWidget(), searchField());
        view.hide();
        view.show();
    }
}

} // namespace
