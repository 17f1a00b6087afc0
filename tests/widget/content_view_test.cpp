#include "views/content_view.h"

#include "engine/clipboard_manager.h"
#include "tests/fakes/fake_main_queue.h"
#include "tests/fakes/fake_pasteboard.h"
#include "tests/fakes/fake_queue_factory.h"
#include "views/clipboard_item_view.h"

#include <QAbstractButton>
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

std::vector<QUuid> idsOf(const std::vector<ClipboardItem>& items)
{
    std::vector<QUuid> ids;
    for (const auto& item : items) {
        ids.push_back(item.id());
    }
    return ids;
}

class ContentViewTest : public ::testing::Test
{
protected:
    ContentViewTest()
    {
        view = std::make_unique<ContentView>(
            *manager, mainQueue,
            [this] {
                // What copy back left on the pasteboard when the paste step runs.
                pastes.push_back(pasteboard.text().value_or(QStringLiteral("<nothing>")));
            },
            [this] { ++terminations; });
        view->show();
        settle();
    }

    void setHistory(std::vector<ClipboardItem> items)
    {
        manager->setHistory(std::move(items));
        settle();
    }

    void setSearchText(const char* text)
    {
        manager->setSearchText(QString::fromUtf8(text));
        settle();
    }

    // Runs the coalesced refresh, then lets Qt lay out and delete what it deferred.
    void settle()
    {
        mainQueue.runPending();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    // The rows a user sees, top to bottom.
    [[nodiscard]] std::vector<ClipboardItemView*> rows() const
    {
        auto all = view->findChildren<ClipboardItemView*>();
        std::vector<ClipboardItemView*> shown;
        std::copy_if(all.begin(), all.end(), std::back_inserter(shown),
                     [this](ClipboardItemView* row) { return row->isVisibleTo(view.get()); });
        std::sort(shown.begin(), shown.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
        return shown;
    }

    [[nodiscard]] std::vector<QUuid> rowIds() const
    {
        std::vector<QUuid> ids;
        for (auto* row : rows()) {
            ids.push_back(row->item().id());
        }
        return ids;
    }

    // The middle region's message, or nothing when the list is shown instead.
    [[nodiscard]] std::optional<QString> message() const
    {
        auto* label = view->findChild<QLabel*>(QStringLiteral("emptyMessage"));
        auto* list = view->findChild<QScrollArea*>(QStringLiteral("historyList"));
        EXPECT_NE(label->isVisible(), list->isVisible());
        return label->isVisible() ? std::optional(label->text()) : std::nullopt;
    }

    [[nodiscard]] QLineEdit* searchField() const { return view->findChild<QLineEdit*>(QStringLiteral("searchField")); }
    [[nodiscard]] QAbstractButton* button(const char* name) const
    {
        return view->findChild<QAbstractButton*>(QString::fromLatin1(name));
    }
    [[nodiscard]] QScrollArea* list() const { return view->findChild<QScrollArea*>(QStringLiteral("historyList")); }

    static void hover(QWidget* widget)
    {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(widget, &enter);
    }

    FakePasteboard pasteboard;
    FakeMainQueue mainQueue;
    FakeQueueFactory queues;
    std::shared_ptr<ClipboardManager> manager = ClipboardManager::create(pasteboard, mainQueue, queues);
    std::vector<QString> pastes;
    int terminations = 0;
    std::unique_ptr<ContentView> view;
};

TEST_F(ContentViewTest, IsAFixedCardWhoseQuitButtonEndsTheApplication)
{
    EXPECT_EQ(view->size(), QSize(320, 420));
    EXPECT_EQ(view->minimumSize(), view->maximumSize());
    EXPECT_EQ(searchField()->placeholderText(), QStringLiteral("Search..."));
    EXPECT_EQ(button("quitButton")->toolTip(), QStringLiteral("Quit"));
    QTest::mouseClick(button("quitButton"), Qt::LeftButton);
    EXPECT_EQ(terminations, 1);
}

TEST_F(ContentViewTest, EmptyHistoryReadsClipboardIsEmptyWhateverTheSearch)
{
    for (const char* search : {"", "abc", " "}) {
        SCOPED_TRACE(search);
        setSearchText(search);
        EXPECT_EQ(message(), QStringLiteral("Clipboard is empty"));
        EXPECT_TRUE(rows().empty());
    }
}

TEST_F(ContentViewTest, MixedHistoryListsEveryEntryNewestFirstEachFollowedByASeparator)
{
    const std::vector<ClipboardItem> history = {textItem("newest"), imageItem(), textItem("middle\nline"),
                                                textItem("oldest")};
    setHistory(history);

    EXPECT_EQ(message(), std::nullopt);
    EXPECT_EQ(rowIds(), idsOf(history));
    for (auto* row : rows()) {
        SCOPED_TRACE(row->y());
        auto* below = row->parentWidget()->childAt(row->width() / 2, row->geometry().bottom() + 1);
        ASSERT_NE(below, nullptr);
        EXPECT_EQ(qobject_cast<ClipboardItemView*>(below), nullptr);
        EXPECT_EQ(below->height(), 1);
    }
    EXPECT_EQ(rows()[1]->height(), 56);
}

TEST_F(ContentViewTest, SearchKeepsTheTextEntriesThatContainItAsTyped)
{
    const auto upper = textItem("xxABCyy word");
    const auto spaced = textItem("ab c");
    const auto image = imageItem();
    const auto single = textItem("single");
    setHistory({upper, spaced, image, single});

    const struct
    {
        const char* search;
        std::vector<QUuid> listed;
        std::optional<QString> message;
    } cases[] = {
        {"", {upper.id(), spaced.id(), image.id(), single.id()}, std::nullopt},
        {"abc", {upper.id()}, std::nullopt},
        {" ", {upper.id(), spaced.id()}, std::nullopt},
        {"b c", {spaced.id()}, std::nullopt},
        {"single ", {}, QStringLiteral("No matches")},
        {"zzz", {}, QStringLiteral("No matches")},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.search);
        setSearchText(testCase.search);
        EXPECT_EQ(rowIds(), testCase.listed);
        EXPECT_EQ(message(), testCase.message);
    }
}

TEST_F(ContentViewTest, SearchFieldIsBoundBothWaysToTheSearchText)
{
    setHistory({textItem("apple"), textItem("apricot"), textItem("banana")});
    std::vector<QString> seen;
    auto connection = manager->objectWillChange().connect([&] { seen.push_back(manager->searchText()); });

    QTest::keyClicks(searchField(), QStringLiteral("apr"));
    EXPECT_EQ(manager->searchText(), QStringLiteral("apr"));
    EXPECT_EQ(seen, (std::vector<QString>{QString(), QStringLiteral("a"), QStringLiteral("ap")}));
    settle();
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0]->item().text(), QStringLiteral("apricot"));

    setSearchText("set elsewhere");
    EXPECT_EQ(searchField()->text(), QStringLiteral("set elsewhere"));
}

TEST_F(ContentViewTest, ClearEmptiesTheHistoryAndKeepsTheSearchText)
{
    setHistory({textItem("one"), textItem("two")});
    QTest::keyClicks(searchField(), QStringLiteral("zzz"));
    settle();
    EXPECT_EQ(message(), QStringLiteral("No matches"));

    QTest::mouseClick(button("clearButton"), Qt::LeftButton);
    settle();
    EXPECT_TRUE(manager->history().empty());
    EXPECT_EQ(message(), QStringLiteral("Clipboard is empty"));
    EXPECT_EQ(searchField()->text(), QStringLiteral("zzz"));
    EXPECT_EQ(manager->searchText(), QStringLiteral("zzz"));
}

TEST_F(ContentViewTest, FiftyEntriesScrollBetweenAFixedHeaderAndFooter)
{
    std::vector<ClipboardItem> history;
    for (int index = 0; index < 50; ++index) {
        history.push_back(index % 5 == 0 ? imageItem() : textItem(QByteArray::number(index).constData()));
    }
    setHistory(history);
    ASSERT_EQ(rows().size(), 50u);

    auto* clear = button("clearButton");
    const auto searchTop = searchField()->mapTo(view.get(), QPoint()).y();
    const auto clearBottom = clear->mapTo(view.get(), QPoint(0, clear->height())).y();
    EXPECT_LT(searchTop, 20);
    EXPECT_EQ(clearBottom, 420 - 8);

    auto* scrollBar = list()->verticalScrollBar();
    EXPECT_GT(scrollBar->maximum(), 0);
    EXPECT_LT(list()->geometry().bottom(), clear->mapTo(view.get(), QPoint()).y());
    scrollBar->setValue(scrollBar->maximum());
    QCoreApplication::processEvents();
    auto* last = rows().back();
    const auto lastBottom = last->mapTo(list()->viewport(), QPoint(0, last->height())).y();
    EXPECT_LE(lastBottom, list()->viewport()->height());
    EXPECT_EQ(searchField()->mapTo(view.get(), QPoint()).y(), searchTop);
    EXPECT_EQ(clear->mapTo(view.get(), QPoint(0, clear->height())).y(), clearBottom);
}

TEST_F(ContentViewTest, RowActionCopiesTheEntryBackThenPastes)
{
    setHistory({textItem("first"), textItem("second")});
    QTest::mouseClick(rows()[1], Qt::LeftButton);
    EXPECT_EQ(pastes, std::vector<QString>{QStringLiteral("second")});
    EXPECT_EQ(pasteboard.count(FakePasteboard::Operation::SetString), 1);
    // Copy back leaves the history as it was.
    settle();
    EXPECT_EQ(rowIds(), idsOf(manager->history()));
}

TEST_F(ContentViewTest, ABurstOfChangesRefreshesOnce)
{
    // A capture: remove the duplicate, insert at the front, drop the oldest.
    manager->setHistory({textItem("a")});
    manager->setHistory({textItem("b"), textItem("a")});
    manager->setSearchText(QString());
    EXPECT_EQ(mainQueue.runPending(), 1u);
    QCoreApplication::processEvents();
    EXPECT_EQ(rowIds(), idsOf(manager->history()));
}

TEST_F(ContentViewTest, ARowKeepsItsHoverWhileItsEntryStaysListed)
{
    const auto kept = textItem("kept");
    setHistory({textItem("other"), kept});
    auto* row = rows()[1];
    hover(row);
    ASSERT_TRUE(row->isHovered());

    setHistory({textItem("new"), manager->history()[0], kept});
    EXPECT_EQ(rows()[2], row);
    EXPECT_TRUE(rows()[2]->isHovered());

    // Filtered out and back: a new row, not hovered.
    setSearchText("other");
    setSearchText("");
    ASSERT_EQ(rows().size(), 3u);
    EXPECT_EQ(rows()[2]->item().id(), kept.id());
    EXPECT_FALSE(rows()[2]->isHovered());
}

TEST_F(ContentViewTest, SearchFieldTakesTheFocusATenthOfASecondAfterEachShowing)
{
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    searchField()->clearFocus();
    mainQueue.advance(99ms);
    EXPECT_FALSE(searchField()->hasFocus());
    mainQueue.advance(1ms);
    EXPECT_TRUE(searchField()->hasFocus());

    // The offscreen platform does not activate a window shown again; the window's focus widget is the
    // one that gets the keyboard when it is active.
    searchField()->clearFocus();
    view->hide();
    view->show();
    mainQueue.advance(99ms);
    EXPECT_NE(view->focusWidget(), searchField());
    mainQueue.advance(1ms);
    EXPECT_EQ(view->focusWidget(), searchField());
    EXPECT_EQ(mainQueue.delays(), (std::vector<std::chrono::nanoseconds>{100ms, 100ms}));
}

} // namespace
