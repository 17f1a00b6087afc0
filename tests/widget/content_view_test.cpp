#include "views/content_view.h"

#include "engine/clipboard_manager.h"
#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"
#include "views/clipboard_item_view.h"

#include <QAccessible>
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
#include <functional>
#include <memory>
#include <optional>
#include <utility>
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

std::vector<ClipboardItem> numberedTexts(int count)
{
    std::vector<ClipboardItem> items;
    for (int index = 0; index < count; ++index) {
        items.push_back(textItem(QByteArray("entry ").append(QByteArray::number(index)).constData()));
    }
    return items;
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

    // The rows drawn highlighted, by their place in the list.
    [[nodiscard]] std::vector<int> highlighted() const
    {
        std::vector<int> indexes;
        const auto shown = rows();
        for (int index = 0; index < shown.size(); ++index) {
            if (shown[index]->isHovered()) {
                indexes.push_back(index);
            }
        }
        return indexes;
    }

    [[nodiscard]] bool isWhollyInView(QWidget* row) const
    {
        const auto top = row->mapTo(list()->viewport(), QPoint()).y();
        return top >= 0 && top + row->height() <= list()->viewport()->height();
    }

    // Shows the view again, which starts without a selection; the search field takes the focus a tenth of a
    // second later. The offscreen platform does not activate a window shown again: what is checked is the
    // window's focus widget, the one that gets the keyboard once the window is active.
    void reopen()
    {
        view.hide();
        view.show();
        searchField()->clearFocus();
        eventLoop.advance(99ms);
        ASSERT_NE(view.focusWidget(), searchField());
        eventLoop.advance(1ms);
        settle();
        ASSERT_EQ(view.focusWidget(), searchField());
    }

    // Keys go where the window sends them: to its focus widget.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(view.focusWidget(), key, modifiers);
        settle();
    }

    void type(const QString& text)
    {
        QTest::keyClicks(view.focusWidget(), text);
        settle();
    }

    void hover(QWidget* row)
    {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(row, &enter);
    }

    void leave(QWidget* row)
    {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(row, &leave);
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
    ContentView view{*manager, eventLoop, [this] { pastes.push_back(clipboard.currentText().value_or(QString())); },
                     [] {}};
};

TEST_F(ContentViewTest, ListsTheEntriesContainingTheSearchNewestFirstEachFollowedByASeparator)
{
    const auto upper = textItem("xxABCyy word");
    const auto spaced = textItem("ab c");
    const auto image = imageItem();
    // A capture changes the history in steps; the view refreshes once, after the last.
    manager->setHistory({spaced, image});
    manager->setHistory({upper, spaced, image});
    manager->setSearchText(QString());
    EXPECT_EQ(eventLoop.runPending(), 1u);
    settle();
    EXPECT_EQ(listed(), (std::vector{upper, spaced, image}));
    for (auto* row : rows()) {
        auto* below = row->parentWidget()->childAt(row->width() / 2, row->geometry().bottom() + 1);
        ASSERT_NE(below, nullptr);
        EXPECT_EQ(qobject_cast<ClipboardItemView*>(below), nullptr);
        EXPECT_EQ(below->height(), 1);
    }
    const struct
    {
        const char* search;
        std::vector<ClipboardItem> listed;
    } cases[] = {
        {"abc", {upper}},
        {" ", {upper, spaced}},
        {"zzz", {}},
        {"", {upper, spaced, image}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.search);
        manager->setSearchText(QString::fromUtf8(testCase.search));
        settle();
        EXPECT_EQ(searchField()->text(), QString::fromUtf8(testCase.search));
        EXPECT_EQ(listed(), testCase.listed);
        EXPECT_EQ(message(), testCase.listed.empty() ? std::optional(QStringLiteral("No matches")) : std::nullopt);
    }

    manager->setSearchText(QStringLiteral("zzz"));
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
    hover(row);
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

TEST_F(ContentViewTest, NavigationKeysMoveOneSelectionThroughTheListAndKeepItInView)
{
    setHistory(numberedTexts(50));
    reopen();
    const int last = 49;
    // All rows are text rows of one height, each followed by its separator.
    const int page = list()->viewport()->height() / (rows()[0]->height() + 1);
    ASSERT_GT(page, 2);
    ASSERT_LT(3 * page, last);
    const struct
    {
        const char* name;
        std::vector<Qt::Key> keys;
        std::optional<int> selected;
    } cases[] = {
        {"Up from the field", {Qt::Key_Up}, std::nullopt},
        {"Down, Down, Up, Up", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up}, 0},
        {"End, Down", {Qt::Key_End, Qt::Key_Down}, last},
        {"End, Home", {Qt::Key_End, Qt::Key_Home}, 0},
        {"Page Down from the field", {Qt::Key_PageDown}, page - 1},
        {"Page Down twice from the first row", {Qt::Key_Down, Qt::Key_PageDown, Qt::Key_PageDown}, 2 * page},
        {"Page Down stops at the last row", {Qt::Key_End, Qt::Key_Up, Qt::Key_PageDown}, last},
        {"Page Up from the last row", {Qt::Key_End, Qt::Key_PageUp}, last - page},
        {"Page Up stops at the first row", {Qt::Key_Down, Qt::Key_Down, Qt::Key_PageUp}, 0},
        {"Page Up from the field", {Qt::Key_PageUp}, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        reopen();
        EXPECT_TRUE(highlighted().empty());
        for (const auto key : testCase.keys) {
            press(key);
        }
        EXPECT_EQ(highlighted(), testCase.selected ? std::vector{*testCase.selected} : std::vector<int>());
        if (testCase.selected) {
            EXPECT_TRUE(isWhollyInView(rows()[*testCase.selected]));
        }
        EXPECT_EQ(view.focusWidget(), searchField());
        EXPECT_EQ(searchField()->text(), QString());
    }
}

TEST_F(ContentViewTest, ReturnRunsTheSelectedRowAsAClickDoesAndEscapeAsksToClose)
{
    setHistory({textItem("alpha"), textItem("beta"), textItem("gamma")});
    int closeRequests = 0;
    QObject::connect(&view, &ContentView::closeRequested, &view, [&closeRequests] { ++closeRequests; });
    const struct
    {
        const char* name;
        std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
        std::vector<QString> pastes;
        int closeRequests;
    } cases[] = {
        {"Return without a selection", {{Qt::Key_Return, Qt::NoModifier}}, {}, 0},
        {"Return on the second row",
         {{Qt::Key_Down, Qt::NoModifier}, {Qt::Key_Down, Qt::NoModifier}, {Qt::Key_Return, Qt::NoModifier}},
         {QStringLiteral("beta")},
         0},
        {"Enter on the keypad",
         {{Qt::Key_Down, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}},
         {QStringLiteral("alpha")},
         0},
        {"Escape", {{Qt::Key_Down, Qt::NoModifier}, {Qt::Key_Escape, Qt::NoModifier}}, {}, 1},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        reopen();
        pastes.clear();
        closeRequests = 0;
        for (const auto& [key, modifiers] : testCase.keys) {
            press(key, modifiers);
        }
        // Each paste notes what was on the clipboard by then: the entry, so copy back came first.
        EXPECT_EQ(pastes, testCase.pastes);
        EXPECT_EQ(closeRequests, testCase.closeRequests);
    }
}

TEST_F(ContentViewTest, TypingAlwaysEditsTheSearchAndTheSelectionFollowsTheFilteredList)
{
    setHistory({textItem("apple pie"), textItem("banana split"), textItem("apple tart")});
    reopen();
    for (int down = 0; down < 3; ++down) {
        press(Qt::Key_Down);
    }
    ASSERT_EQ(highlighted(), std::vector{2});

    // Clicks on the list, beside the field and Tab leave the keyboard with the field.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, QPoint(10, list()->viewport()->height() - 5));
    EXPECT_EQ(view.focusWidget(), searchField());
    QTest::mouseClick(view.findChild<QWidget*>(QStringLiteral("searchSymbol")), Qt::LeftButton);
    EXPECT_EQ(view.focusWidget(), searchField());
    press(Qt::Key_Tab);
    EXPECT_EQ(view.focusWidget(), searchField());

    // The selected "apple tart" stays listed, but a new search starts without a selection.
    type(QStringLiteral("apple"));
    EXPECT_EQ(searchField()->text(), QStringLiteral("apple"));
    EXPECT_EQ(manager->searchText(), QStringLiteral("apple"));
    EXPECT_EQ(listed(), (std::vector{manager->history()[0], manager->history()[2]}));
    EXPECT_TRUE(highlighted().empty());
    press(Qt::Key_Down);
    EXPECT_EQ(highlighted(), std::vector{0});

    // Keys with a modifier keep their meaning in the field.
    press(Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(searchField()->selectedText(), QStringLiteral("apple"));
    EXPECT_EQ(highlighted(), std::vector{0});
    press(Qt::Key_Return);
    EXPECT_EQ(pastes, std::vector{QStringLiteral("apple pie")});

    // Without rows, Home and End move the field's cursor.
    type(QStringLiteral("zzz"));
    ASSERT_EQ(message(), QStringLiteral("No matches"));
    press(Qt::Key_Home);
    EXPECT_EQ(searchField()->cursorPosition(), 0);
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    EXPECT_EQ(pastes.size(), 1u);
}

TEST_F(ContentViewTest, ThePointerMovesTheSelectionAndOnlyOneRowIsEverHighlighted)
{
    setHistory(numberedTexts(5));
    reopen();
    const auto row = [this](int index) { return rows()[index]; };
    press(Qt::Key_Down);
    const auto selectedLook = row(0)->grab().toImage();
    press(Qt::Key_Up);
    hover(row(0));
    EXPECT_EQ(row(0)->grab().toImage(), selectedLook);
    leave(row(0));

    const struct
    {
        const char* name;
        std::function<void()> step;
        std::vector<int> highlighted;
    } steps[] = {
        {"Down", [&] { press(Qt::Key_Down); }, {0}},
        {"pointer enters the fourth row", [&] { hover(row(3)); }, {3}},
        {"Down from there", [&] { press(Qt::Key_Down); }, {4}},
        {"pointer leaves the fourth row", [&] { leave(row(3)); }, {4}},
        {"pointer enters and leaves the second row", [&] { hover(row(1)), leave(row(1)); }, {}},
        {"Down starts over", [&] { press(Qt::Key_Down); }, {0}},
        {"a capture above",
         [&] {
             setHistory({textItem("new"), manager->history()[0]});
         },
         {1}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.step();
        EXPECT_EQ(highlighted(), step.highlighted);
    }
}

// The rest of what a screen reader finds is read end to end through AT-SPI.
TEST_F(ContentViewTest, AScreenReaderHearsAnImageRowAsImageAndPressesARowAsAClickDoes)
{
    setHistory({textItem("first\nsecond"), imageItem()});
    EXPECT_EQ(QAccessible::queryAccessibleInterface(rows()[1])->text(QAccessible::Name), QStringLiteral("Image"));
    auto* actions = QAccessible::queryAccessibleInterface(rows()[0])->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pastes, std::vector{QStringLiteral("first\nsecond")});
}

} // namespace
