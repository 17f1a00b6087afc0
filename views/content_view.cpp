#include "views/content_view.h"

#include "engine/clipboard_manager.h"
#include "platform/event_loop.h"
#include "views/clipboard_item_view.h"
#include "views/continuous_rounded_rect.h"
#include "views/history_filter.h"
#include "views/plain_button.h"
#include "views/symbols.h"

#include <QColor>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QStyle>
#include <QVBoxLayout>

#include <optional>

namespace {

constexpr int clearButtonVerticalPadding = 8;

/// A horizontal hairline between the header and the list.
class Separator final : public QWidget
{
public:
    explicit Separator(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(ClipboardItemView::separatorHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        auto color = palette().color(QPalette::WindowText);
        color.setAlphaF(ClipboardItemView::separatorOpacity);
        QPainter(this).fillRect(rect(), color);
    }
};

/// A symbol image in the secondary colour.
class SymbolLabel final : public QWidget
{
public:
    SymbolLabel(Symbol symbol, QWidget* parent) : QWidget(parent), m_icon(symbolIcon(symbol))
    {
        const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        paintSymbol(painter, rect(), m_icon, palette().color(QPalette::PlaceholderText));
    }

private:
    QIcon m_icon;
};

} // namespace

/// The history list, whose selection the keys of the search field move with the list's own cursor moves,
/// leaving the keyboard focus where it is.
class HistoryList final : public QListView
{
public:
    using QListView::QListView;

    /// Whether `key` moves the selection; if so, moves it.
    bool moveSelection(int key)
    {
        auto action = cursorAction(key);
        // An empty list leaves Home and End to the field.
        if (!action || model()->rowCount() == 0) {
            return false;
        }
        if (!selectionModel()->hasSelection()) {
            // Nothing lies above no selection; below it, the list starts at its first row.
            if (*action == MoveUp || *action == MovePageUp) {
                return true;
            }
            if (*action == MoveDown) {
                action = MoveHome;
            }
            selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
        }
        const auto index = moveCursor(*action, Qt::NoModifier);
        if (index.isValid()) {
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            scrollTo(index);
        }
        return true;
    }

private:
    static std::optional<CursorAction> cursorAction(int key)
    {
        switch (key) {
        case Qt::Key_Up:
            return MoveUp;
        case Qt::Key_Down:
            return MoveDown;
        case Qt::Key_PageUp:
            return MovePageUp;
        case Qt::Key_PageDown:
            return MovePageDown;
        case Qt::Key_Home:
            return MoveHome;
        case Qt::Key_End:
            return MoveEnd;
        default:
            return std::nullopt;
        }
    }
};

ContentView::ContentView(ClipboardManager& manager, platform::EventLoop& eventLoop, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_eventLoop(eventLoop), m_filter(new HistoryFilter(this)),
      m_rowView(new ClipboardItemView(m_thumbnails, this))
{
    m_filter->setSourceModel(&m_manager);
    m_filter->setSearchText(m_manager.searchText());
    connect(&m_manager, &ClipboardManager::searchTextChanged, m_filter, &HistoryFilter::setSearchText);
    setFixedSize(cardWidth, cardHeight);

    m_emptyMessage = new QLabel(this);
    m_emptyMessage->setObjectName(QStringLiteral("emptyMessage"));
    m_emptyMessage->setAlignment(Qt::AlignCenter);
    m_emptyMessage->setForegroundRole(QPalette::PlaceholderText);
    m_emptyMessage->setContentsMargins(
        style()->pixelMetric(QStyle::PM_LayoutLeftMargin), style()->pixelMetric(QStyle::PM_LayoutTopMargin),
        style()->pixelMetric(QStyle::PM_LayoutRightMargin), style()->pixelMetric(QStyle::PM_LayoutBottomMargin));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(new Separator(this));
    layout->addWidget(m_emptyMessage, 1);
    layout->addWidget(makeList(), 1);
    layout->addWidget(makeFooter());

    for (const auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(m_filter, changed, this, &ContentView::showListOrMessage);
    }
    connect(m_filter, &QAbstractItemModel::modelReset, this, &ContentView::showListOrMessage);
    // Made with the capture, while the panel may be hidden: the path from the hot key to the panel on screen
    // decodes nothing.
    connect(&m_manager, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { makeThumbnails(first, last); });
    connect(&m_manager, &QAbstractItemModel::rowsRemoved, this, [this] { m_thumbnails.keepOnly(m_manager); });
    connect(&m_manager, &QAbstractItemModel::modelReset, this, [this] {
        m_thumbnails.keepOnly(m_manager);
        makeThumbnails(0, m_manager.rowCount() - 1);
    });
    connect(&m_manager, &ClipboardManager::searchTextChanged, this, [this](const QString& searchText) {
        if (m_searchField->text() != searchText) {
            m_searchField->setText(searchText);
        }
        // A new search starts without a selection.
        m_list->selectionModel()->clear();
    });
    showListOrMessage();
}

QWidget* ContentView::makeHeader()
{
    auto* header = new QWidget(this);
    m_searchField = new QLineEdit(m_manager.searchText(), header);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setFrame(false);
    m_searchField->setPlaceholderText(tr("Search..."));
    // Plain style: the card shows through.
    auto palette = m_searchField->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    m_searchField->setPalette(palette);
    m_searchField->setAccessibleName(tr("Search"));
    connect(m_searchField, &QLineEdit::textEdited, &m_manager, &ClipboardManager::setSearchText);
    // The list's keys are taken before the field moves its cursor with them.
    m_searchField->installEventFilter(this);

    auto* quit = new PlainButton(QPalette::PlaceholderText, header);
    quit->setObjectName(QStringLiteral("quitButton"));
    quit->setIcon(symbolIcon(Symbol::Power));
    quit->setToolTip(tr("Quit"));
    quit->setAccessibleName(tr("Quit"));
    connect(quit, &QAbstractButton::clicked, this, &ContentView::quitRequested);

    // The layout's default margins and spacing are the style's standard padding and spacing.
    auto* layout = new QHBoxLayout(header);
    auto* searchSymbol = new SymbolLabel(Symbol::MagnifyingGlass, header);
    searchSymbol->setObjectName(QStringLiteral("searchSymbol"));
    layout->addWidget(searchSymbol);
    layout->addWidget(m_searchField);
    layout->addWidget(quit);
    return header;
}

QWidget* ContentView::makeList()
{
    m_list = new HistoryList(this);
    m_list->setObjectName(QStringLiteral("historyList"));
    m_list->setAccessibleName(tr("History"));
    m_list->setFrameShape(QFrame::NoFrame);
    // Neither a click on a row nor one on the scroll bar takes the keyboard away from the search field.
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The selection follows the pointer, and a row under the pointer must not scroll away from it: the keys
    // scroll their row into view themselves.
    m_list->setMouseTracking(true);
    m_list->setAutoScroll(false);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->viewport()->installEventFilter(this);
    m_list->setModel(m_filter);
    m_list->setItemDelegate(m_rowView);
    connect(m_list, &QAbstractItemView::entered, this, &ContentView::hover);
    connect(m_list, &QAbstractItemView::viewportEntered, this, [this] { hover({}); });
    connect(m_list, &QAbstractItemView::pressed, this, [this](const QModelIndex& index) {
        m_rowView->setPressedRow(index);
        m_list->viewport()->update();
    });
    connect(m_list, &QAbstractItemView::clicked, this, &ContentView::runRow);
    return m_list;
}

QWidget* ContentView::makeFooter()
{
    auto* footer = new QWidget(this);
    auto* clear = new PlainButton(QPalette::Link, footer);
    clear->setObjectName(QStringLiteral("clearButton"));
    clear->setText(tr("Clear"));
    clear->setAccessibleName(tr("Clear"));
    clear->setCursor(Qt::PointingHandCursor);
    connect(clear, &QAbstractButton::clicked, &m_manager, &ClipboardManager::clearHistory);

    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(style()->pixelMetric(QStyle::PM_LayoutLeftMargin), clearButtonVerticalPadding,
                               style()->pixelMetric(QStyle::PM_LayoutRightMargin), clearButtonVerticalPadding);
    layout->addWidget(clear);
    layout->addStretch();
    return footer;
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Each opening starts without a selection.
    m_list->selectionModel()->clear();
    m_hoveredRow = QPersistentModelIndex();
    // The panel is shown before it becomes the active window; a focus asked for at once would be lost.
    m_eventLoop.postDelayed(focusDelay, [field = QPointer<QLineEdit>(m_searchField)] {
        if (field) {
            field->setFocus(Qt::OtherFocusReason);
        }
    });
}

void ContentView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(continuousRoundedRect(QRectF(rect()), cornerRadius), palette().color(QPalette::Window));
}

void ContentView::showListOrMessage()
{
    const bool isEmpty = m_filter->rowCount() == 0;
    if (isEmpty) {
        m_emptyMessage->setText(m_manager.rowCount() == 0 ? tr("Clipboard is empty") : tr("No matches"));
    }
    m_emptyMessage->setVisible(isEmpty);
    m_list->setVisible(!isEmpty);
}

void ContentView::makeThumbnails(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const auto entry = m_manager.index(row);
        if (const auto source = entry.data(ClipboardManager::ThumbnailRole); source.isValid()) {
            static_cast<void>(m_thumbnails.thumbnail(entry.data(ClipboardManager::IdRole).toUuid(),
                                                     source.value<QImage>(), devicePixelRatioF()));
        }
    }
}

void ContentView::runRow(const QModelIndex& index)
{
    m_manager.copyItem(m_filter->mapToSource(index));
    emit pasteRequested();
}

void ContentView::hover(const QModelIndex& index)
{
    const bool leavesSelectedRow = m_hoveredRow.isValid() && m_hoveredRow == m_list->currentIndex();
    m_hoveredRow = index;
    if (index.isValid()) {
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    } else if (leavesSelectedRow) {
        m_list->selectionModel()->clear();
    }
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_searchField && event->type() == QEvent::KeyPress) {
        return handleKey(*static_cast<QKeyEvent*>(event));
    }
    if (watched == m_list->viewport()) {
        if (event->type() == QEvent::Leave) {
            hover({});
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_rowView->setPressedRow({});
            m_list->viewport()->update();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool ContentView::handleKey(QKeyEvent& event)
{
    // With a modifier the keys keep their meaning in the field: Shift+Home selects its text.
    if ((event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;
    }
    if (event.key() == Qt::Key_Escape) {
        emit closeRequested();
        return true;
    }
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) {
        if (m_list->selectionModel()->hasSelection()) {
            runRow(m_list->currentIndex());
        }
        return true;
    }
    return m_list->moveSelection(event.key());
}
