#include "views/content_view.h"

#include "engine/clipboard_manager.h"
#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"
#include "views/clipboard_item_view.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace std::chrono_literals;

namespace {

// Typing into the search, clicking a row and reading the rows through AT-SPI are checked end to end.
class ContentViewTest : public ::testing::Test
{
protected:
    // Fifty texts, "entry 0" the newest, in a panel just opened.
    void SetUp() override
    {
        std::vector<ClipboardItem> items;
        for (int index = 0; index < 50; ++index) {
            items.emplace_back(QStringLiteral("entry %1").arg(index), nullptr);
        }
        setHistory(items);
        reopen();
        QObject::connect(&view, &ContentView::closeRequested, &view, [this] { ++closeRequests; });
    }

    void setHistory(std::vector<ClipboardItem> items)
    {
        manager->setHistory(std::move(items));
        eventLoop.settle();
    }

    // The rows a user sees, top to bottom, and of them those drawn highlighted. A vector: QList's comparison
    // of two empty lists hands memcmp a null pointer, which the undefined-behaviour sanitizer reports.
    [[nodiscard]] std::vector<ClipboardItemView*> rows(bool highlightedOnly = false) const
    {
        const auto children = view.findChildren<ClipboardItemView*>();
        std::vector<ClipboardItemView*> shown(children.begin(), children.end());
        std::erase_if(shown,
                      [&](auto* row) { return !row->isVisibleTo(&view) || (highlightedOnly && !row->isHovered()); });
        std::ranges::sort(shown, {}, &QWidget::y);
        return shown;
    }

    // The middle region's message, or nothing when the list is shown instead.
    [[nodiscard]] std::optional<QString> message() const
    {
        auto* label = view.findChild<QLabel*>(QStringLiteral("emptyMessage"));
        EXPECT_NE(label->isVisible(), list()->isVisible());
        return label->isVisible() ? std::optional(label->text()) : std::nullopt;
    }

    // Shown again, without a selection; the offscreen platform activates no window, so the focus widget
    // is what gets the keyboard.
    void reopen()
    {
        view.hide();
        view.show();
        searchField()->clearFocus();
        eventLoop.advance(100ms);
        eventLoop.settle();
        ASSERT_EQ(view.focusWidget(), searchField());
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(view.focusWidget(), key, modifiers);
        eventLoop.settle();
    }

    [[nodiscard]] QScrollArea* list() const { return view.findChild<QScrollArea*>(QStringLiteral("historyList")); }
    [[nodiscard]] QLineEdit* searchField() const { return view.findChild<QLineEdit*>(QStringLiteral("searchField")); }

    FakeClipboard clipboard;
    FakeEventLoop eventLoop;
    FakeBackgroundTimers timers;
    std::shared_ptr<ClipboardManager> manager = ClipboardManager::create(clipboard, eventLoop, timers);
    std::vector<QString> pastes;
    int closeRequests = 0;
    // The paste step notes what copy back has left on the clipboard by then.
    ContentView view{*manager, eventLoop, [this] { pastes.push_back(clipboard.currentText().value_or(QString())); },
                     [] {}};
};

TEST_F(ContentViewTest, ASearchStartsWithoutASelectionAndSaysWhenNothingMatches)
{
    EXPECT_EQ(message(), std::nullopt);
    press(Qt::Key_End);
    QTest::keyClicks(view.focusWidget(), QStringLiteral("entry 4"));
    eventLoop.settle();
    EXPECT_TRUE(rows(true).empty());
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    EXPECT_EQ(pastes, std::vector{QStringLiteral("entry 4")});
    // Set from the store, as showing the panel does.
    manager->setSearchText(QStringLiteral("entry 12"));
    eventLoop.settle();
    EXPECT_EQ(searchField()->text(), QStringLiteral("entry 12"));
    EXPECT_EQ(rows().size(), 1U);
    manager->setSearchText(QStringLiteral("zzz"));
    eventLoop.settle();
    EXPECT_EQ(message(), QStringLiteral("No matches"));
    QTest::mouseClick(view.findChild<QWidget*>(QStringLiteral("clearButton")), Qt::LeftButton);
    eventLoop.settle();
    EXPECT_EQ(message(), QStringLiteral("Clipboard is empty"));
}

TEST_F(ContentViewTest, KeysMoveTheSelectionReturnPastesItAndEscapeAsksToClose)
{
    // Text rows of one height, each followed by a one-pixel separator.
    const int page = list()->viewport()->height() / (rows()[0]->height() + 1);
    ASSERT_LT(3 * page, 49);
    // Name, keys, the row selected after them, how often it was pasted.
    const std::tuple<const char*, std::vector<Qt::Key>, std::optional<int>, int> cases[] = {
        {"Up from the field", {Qt::Key_Up}, std::nullopt, 0},
        {"Down, Down, Up", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}, 0, 0},
        {"End, Down", {Qt::Key_End, Qt::Key_Down}, 49, 0},
        {"Page Down twice", {Qt::Key_PageDown, Qt::Key_PageDown}, 2 * page - 1, 0},
        {"Page Up from the last row", {Qt::Key_End, Qt::Key_PageUp}, 49 - page, 0},
        {"Return without a selection", {Qt::Key_Return}, std::nullopt, 0},
        {"Return on the second row", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, 1, 1},
        {"Enter on the keypad", {Qt::Key_Down, Qt::Key_Enter}, 0, 1},
        {"Escape asks to close", {Qt::Key_Escape}, std::nullopt, 0},
    };
    for (const auto& [name, keys, selected, pasteCount] : cases) {
        SCOPED_TRACE(name);
        reopen();
        pastes.clear();
        closeRequests = 0;
        for (const auto key : keys) {
            press(key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        }
        const auto highlighted = rows(true);
        EXPECT_EQ(highlighted, selected ? std::vector{rows()[*selected]} : std::vector<ClipboardItemView*>());
        EXPECT_EQ(pastes, std::vector<QString>(pasteCount, QStringLiteral("entry %1").arg(selected.value_or(-1))));
        EXPECT_EQ(closeRequests, keys.back() == Qt::Key_Escape ? 1 : 0);
        for (const auto* row : highlighted) {
            const auto top = row->mapTo(list()->viewport(), QPoint()).y();
            EXPECT_TRUE(top >= 0 && top + row->height() <= list()->viewport()->height());
        }
        EXPECT_EQ(view.focusWidget(), searchField());
    }
}

TEST_F(ContentViewTest, TheSelectionFollowsThePointerAndItsRow)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    press(Qt::Key_Down);
    QApplication::sendEvent(rows()[3], &enter);
    EXPECT_EQ(rows(true), std::vector{rows()[3]});
    press(Qt::Key_Down);
    QApplication::sendEvent(rows()[3], &leave);
    EXPECT_EQ(rows(true), std::vector{rows()[4]});
    auto* row = rows()[1];
    QApplication::sendEvent(row, &enter);
    setHistory({{QStringLiteral("new"), nullptr}, manager->history()[0], manager->history()[1]});
    EXPECT_EQ(rows(true), std::vector{row});
    EXPECT_EQ(rows()[2], row);
}

} // namespace
