#include "views/content_view.h"

#include "tests/fakes/store_on_fakes.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

using namespace std::chrono_literals;

namespace {

// Typing into the search, clicking a row and reading the rows through AT-SPI are checked end to end.
class ContentViewTest : public ::testing::Test, protected StoreOnFakes
{
protected:
    // Fifty texts, "entry 0" the newest, in a panel just opened.
    void SetUp() override
    {
        std::vector<ClipboardItem> items;
        for (int index = 0; index < 50; ++index) {
            items.emplace_back(QStringLiteral("entry %1").arg(index), nullptr);
        }
        manager->setHistory(items);
        reopen();
        // The paste notes what copy back has left on the clipboard by then.
        QObject::connect(&view, &ContentView::pasteRequested, &view,
                         [this] { pastes.push_back(clipboard.currentText().value_or(QString())); });
    }

    // The texts of the rows listed, top to bottom.
    [[nodiscard]] std::vector<QString> listed() const
    {
        std::vector<QString> texts;
        for (int row = 0; row < list()->model()->rowCount(); ++row) {
            texts.push_back(list()->model()->index(row, 0).data().toString());
        }
        return texts;
    }

    // The one row drawn highlighted, if any.
    [[nodiscard]] std::optional<int> selectedRow() const
    {
        const auto selected = list()->selectionModel()->selectedIndexes();
        EXPECT_LE(selected.size(), 1);
        return selected.isEmpty() ? std::nullopt : std::optional(selected.front().row());
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

    // The pointer moves onto a listed row.
    void hover(int row)
    {
        QTest::mouseMove(list()->viewport(), list()->visualRect(list()->model()->index(row, 0)).center());
    }

    [[nodiscard]] QListView* list() const { return view.findChild<QListView*>(QStringLiteral("historyList")); }
    [[nodiscard]] QLineEdit* searchField() const { return view.findChild<QLineEdit*>(QStringLiteral("searchField")); }

    std::vector<QString> pastes;
    ContentView view{*manager, eventLoop};
};

TEST_F(ContentViewTest, ASearchStartsWithoutASelectionAndSaysWhenNothingMatches)
{
    EXPECT_EQ(message(), std::nullopt);
    press(Qt::Key_End);
    QTest::keyClicks(view.focusWidget(), QStringLiteral("ENTRY 4"));
    eventLoop.settle();
    EXPECT_EQ(manager->searchText(), QStringLiteral("ENTRY 4"));
    EXPECT_EQ(listed().size(), 11U);
    EXPECT_EQ(selectedRow(), std::nullopt);
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    EXPECT_EQ(pastes, std::vector{QStringLiteral("entry 4")});
    // Set from the store, as showing the panel does.
    manager->setSearchText(QStringLiteral("entry 12"));
    eventLoop.settle();
    EXPECT_EQ(searchField()->text(), QStringLiteral("entry 12"));
    EXPECT_EQ(listed(), std::vector{QStringLiteral("entry 12")});
    // A capture that matches the search is listed as it arrives; one that does not is not.
    for (const auto& text : {QStringLiteral("entry 12 new"), QStringLiteral("other")}) {
        clipboard.copyText(text);
        capture();
    }
    eventLoop.settle();
    EXPECT_EQ(listed(), (std::vector{QStringLiteral("entry 12 new"), QStringLiteral("entry 12")}));
    // The search is not trimmed.
    manager->setSearchText(QStringLiteral("entry 12 "));
    eventLoop.settle();
    EXPECT_EQ(listed(), std::vector{QStringLiteral("entry 12 new")});
    manager->setSearchText(QStringLiteral("zzz"));
    eventLoop.settle();
    EXPECT_EQ(message(), QStringLiteral("No matches"));
    QTest::mouseClick(view.findChild<QWidget*>(QStringLiteral("clearButton")), Qt::LeftButton);
    eventLoop.settle();
    EXPECT_EQ(message(), QStringLiteral("Clipboard is empty"));
    EXPECT_EQ(searchField()->text(), QStringLiteral("zzz"));
}

// Escape closing the panel is checked end to end on sway and KWin.
TEST_F(ContentViewTest, KeysMoveTheSelectionAndReturnPastesIt)
{
    // Text rows of one height, each with its one-pixel separator. A page moves by the rows the list shows
    // whole, less one, as Qt's lists do.
    const int page = list()->viewport()->height() / list()->visualRect(list()->model()->index(0, 0)).height() - 1;
    ASSERT_LT(3 * page, 49);
    // Name, keys, the row selected after them, how often it was pasted.
    const std::tuple<const char*, std::vector<Qt::Key>, std::optional<int>, int> cases[] = {
        {"Up, Page Up and Return from the field", {Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Return}, std::nullopt, 0},
        {"End, Home", {Qt::Key_End, Qt::Key_Home}, 0, 0},
        {"Page Down twice, from the first row", {Qt::Key_PageDown, Qt::Key_PageDown}, 2 * page, 0},
        {"Down on the last row, then Page Up", {Qt::Key_End, Qt::Key_Down, Qt::Key_PageUp}, 49 - page, 0},
        // Return pastes in the search test.
        {"Enter on the keypad after Up", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Enter}, 1, 1},
    };
    for (const auto& [name, keys, selected, pasteCount] : cases) {
        SCOPED_TRACE(name);
        reopen();
        pastes.clear();
        for (const auto key : keys) {
            press(key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        }
        EXPECT_EQ(selectedRow(), selected);
        EXPECT_EQ(pastes, std::vector<QString>(pasteCount, QStringLiteral("entry %1").arg(selected.value_or(-1))));
        if (selected) {
            const auto row = list()->visualRect(list()->model()->index(*selected, 0));
            EXPECT_TRUE(list()->viewport()->rect().contains(row)) << row.y();
        }
        EXPECT_EQ(view.focusWidget(), searchField());
    }
}

TEST_F(ContentViewTest, TheSelectionFollowsThePointerAndItsRowAndAClickPastesIt)
{
    QEvent leave(QEvent::Leave);
    press(Qt::Key_Down);
    hover(3);
    EXPECT_EQ(selectedRow(), 3);
    press(Qt::Key_Down);
    QApplication::sendEvent(list()->viewport(), &leave);
    EXPECT_EQ(selectedRow(), 4);
    hover(1);
    // A capture puts a new row above it.
    clipboard.copyText(QStringLiteral("new"));
    timers.fire();
    eventLoop.settle();
    EXPECT_EQ(selectedRow(), 2);
    EXPECT_EQ(listed()[2], QStringLiteral("entry 1"));
    QApplication::sendEvent(list()->viewport(), &leave);
    EXPECT_EQ(selectedRow(), std::nullopt);

    // In the padding on the left, and on the text; copied back before the paste, and not captured again.
    const auto row = list()->visualRect(list()->model()->index(3, 0));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, row.topLeft() + QPoint(2, 1));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, row.center());
    timers.fire();
    eventLoop.settle();
    EXPECT_EQ(pastes, std::vector(2, QStringLiteral("entry 2")));
    EXPECT_EQ(listed()[3], QStringLiteral("entry 2"));
    EXPECT_EQ(view.focusWidget(), searchField());
}

// The list's name, the rows' names and the selection a screen reader hears are checked through AT-SPI end to
// end; a picture row is not among them.
TEST_F(ContentViewTest, AScreenReaderHearsAPictureRowAsImageAndNoSearchListsIt)
{
    manager->setHistory({{std::nullopt, platform::Image::fromEncoded("P6\n1 1\n255\nabc")}});
    eventLoop.settle();
    auto* accessibleList = QAccessible::queryAccessibleInterface(list());
    ASSERT_TRUE(accessibleList && accessibleList->childCount() == 1);
    EXPECT_EQ(accessibleList->child(0)->text(QAccessible::Name), QStringLiteral("Image"));
    // A picture is listed without a search, and matches no search, not even its spoken name.
    manager->setSearchText(QStringLiteral("image"));
    eventLoop.settle();
    EXPECT_EQ(listed(), std::vector<QString>());
}

} // namespace
