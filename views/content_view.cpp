#include "views/content_view.h"

#include "engine/clipboard_manager.h"
#include "platform/event_loop.h"
#include "views/accessible_views.h"
#include "views/clipboard_item_view.h"
#include "views/continuous_rounded_rect.h"
#include "views/plain_button.h"
#include "views/symbols.h"

#include <QColor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cassert>
#include <unordered_set>
#include <utility>

namespace {

constexpr int clearButtonVerticalPadding = 8;
constexpr qreal separatorOpacity = 0.12;

/// A horizontal hairline between the parts of the card and after every row.
class Separator final : public QWidget
{
public:
    explicit Separator(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        auto color = palette().color(QPalette::WindowText);
        color.setAlphaF(separatorOpacity);
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

ContentView::ContentView(ClipboardManager& manager, platform::EventLoop& eventLoop,
                         std::function<void()> performAutoPaste, std::function<void()> quit, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_eventLoop(eventLoop), m_performAutoPaste(std::move(performAutoPaste)),
      m_quit(std::move(quit))
{
    assert(m_performAutoPaste && m_quit && "the row action and the quit button need their steps");
    installAccessibleViews();
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

    m_willChange = m_manager.objectWillChange().connect([this] { scheduleRefresh(); });
    refresh();
}

QWidget* ContentView::makeHeader()
{
    auto* header = new QWidget(this);
    m_searchField = new QLineEdit(header);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setFrame(false);
    m_searchField->setPlaceholderText(tr("Search..."));
    // Plain style: the card shows through.
    auto palette = m_searchField->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    m_searchField->setPalette(palette);
    m_searchField->setAccessibleName(tr("Search"));
    connect(m_searchField, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_manager.setSearchText(text); });
    // The list's keys are taken before the field moves its cursor with them.
    m_searchField->installEventFilter(this);

    auto* quit = new PlainButton(QPalette::PlaceholderText, header);
    quit->setObjectName(QStringLiteral("quitButton"));
    quit->setIcon(symbolIcon(Symbol::Power));
    quit->setToolTip(tr("Quit"));
    quit->setAccessibleName(tr("Quit"));
    connect(quit, &QAbstractButton::clicked, this, [this] { m_quit(); });

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
    m_list = new QScrollArea(this);
    m_list->setObjectName(QStringLiteral("historyList"));
    m_list->setFrameShape(QFrame::NoFrame);
    // A click on the scroll bar must not take the keyboard away from the search field.
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setWidgetResizable(true);
    m_list->viewport()->setAutoFillBackground(false);

    m_listContent = new AccessibleList(m_list);
    m_listContent->setAccessibleName(tr("History"));
    m_listLayout = new QVBoxLayout(m_listContent);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(0);
    m_list->setWidget(m_listContent);
    m_listContent->setAutoFillBackground(false);
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
    connect(clear, &QAbstractButton::clicked, this, [this] { m_manager.clearHistory(); });

    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(style()->pixelMetric(QStyle::PM_LayoutLeftMargin), clearButtonVerticalPadding,
                               style()->pixelMetric(QStyle::PM_LayoutRightMargin), clearButtonVerticalPadding);
    layout->addWidget(clear);
    layout->addStretch();
    return footer;
}

ContentView::Row ContentView::makeRow(const ClipboardItem& item)
{
    auto action = [this, item] {
        m_manager.copyItem(item);
        m_performAutoPaste();
    };
    auto* view = new ClipboardItemView(item, std::move(action), m_thumbnails, m_listContent);
    connect(view, &ClipboardItemView::hoverChanged, this, [this, id = item.id()](bool isHovered) {
        if (isHovered) {
            select(id);
        } else if (m_selected == id) {
            m_selected.reset();
        }
    });
    return {view, new Separator(m_listContent)};
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Each opening starts without a selection.
    select(std::nullopt);
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

void ContentView::scheduleRefresh()
{
    if (m_isRefreshScheduled) {
        return;
    }
    m_isRefreshScheduled = true;
    // The manager notifies before it changes; the refresh reads the state after the whole burst.
    m_eventLoop.post([view = QPointer<ContentView>(this)] {
        if (view) {
            view->refresh();
        }
    });
}

void ContentView::refresh()
{
    m_isRefreshScheduled = false;
    const auto& history = m_manager.history();
    const auto& searchText = m_manager.searchText();
    if (m_searchField->text() != searchText) {
        m_searchField->setText(searchText);
    }
    const auto items = m_filter.filteredHistory(history, searchText);
    m_thumbnails.keepOnly(history);
    if (searchText != m_listedSearchText) {
        m_listedSearchText = searchText;
        select(std::nullopt);
    }
    updateRows(items);
    if (m_selected && !m_rows.contains(*m_selected)) {
        m_selected.reset();
    }
    if (items.empty()) {
        m_emptyMessage->setText(history.empty() ? tr("Clipboard is empty") : tr("No matches"));
    }
    m_emptyMessage->setVisible(items.empty());
    m_list->setVisible(!items.empty());
}

void ContentView::updateRows(const std::vector<ClipboardItem>& items)
{
    std::vector<QUuid> order;
    order.reserve(items.size());
    for (const auto& item : items) {
        order.push_back(item.id());
    }
    if (order == m_rowOrder) {
        return;
    }

    const std::unordered_set<QUuid, ClipboardItem::IdHash> listed(order.begin(), order.end());
    std::erase_if(m_rows, [&listed](const auto& entry) {
        if (listed.contains(entry.first)) {
            return false;
        }
        // A row may be deleted from within its own click.
        for (QWidget* widget : {static_cast<QWidget*>(entry.second.view), entry.second.separator}) {
            widget->hide();
            widget->deleteLater();
        }
        return true;
    });

    while (auto* layoutItem = m_listLayout->takeAt(0)) {
        delete layoutItem;
    }
    for (const auto& item : items) {
        auto [row, isNew] = m_rows.try_emplace(item.id());
        if (isNew) {
            row->second = makeRow(item);
        }
        m_listLayout->addWidget(row->second.view);
        m_listLayout->addWidget(row->second.separator);
        row->second.view->show();
        row->second.separator->show();
    }
    // Rows keep their height and gather at the top when they do not fill the list.
    m_listLayout->addStretch();
    m_rowOrder = std::move(order);
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_searchField && event->type() == QEvent::KeyPress) {
        return handleKey(*static_cast<QKeyEvent*>(event));
    }
    return QWidget::eventFilter(watched, event);
}

bool ContentView::handleKey(const QKeyEvent& event)
{
    // With a modifier the keys keep their meaning in the field: Shift+Home selects its text.
    if ((event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;
    }
    const auto current = selectedIndex();
    switch (event.key()) {
    case Qt::Key_Escape:
        emit closeRequested();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (current) {
            m_rows.at(m_rowOrder[*current]).view->click();
        }
        return true;
    default:
        break;
    }
    // An empty list leaves Home and End to the field.
    if (m_rowOrder.empty()) {
        return false;
    }
    const auto last = m_rowOrder.size() - 1;
    switch (event.key()) {
    case Qt::Key_Down:
        selectIndex(current ? std::min(*current + 1, last) : 0);
        return true;
    case Qt::Key_Up:
        if (current) {
            selectIndex(*current > 0 ? *current - 1 : 0);
        }
        return true;
    case Qt::Key_Home:
        selectIndex(0);
        return true;
    case Qt::Key_End:
        selectIndex(last);
        return true;
    case Qt::Key_PageDown:
        // Without a selection the page starts above the first row.
        if (!current) {
            selectIndex(rowsThatFit(0, 1) - 1);
        } else if (*current < last) {
            selectIndex(std::min(*current + rowsThatFit(*current + 1, 1), last));
        }
        return true;
    case Qt::Key_PageUp:
        if (current && *current > 0) {
            selectIndex(*current - std::min(*current, rowsThatFit(*current - 1, -1)));
        }
        return true;
    default:
        return false;
    }
}

std::optional<std::size_t> ContentView::selectedIndex() const
{
    if (!m_selected) {
        return std::nullopt;
    }
    const auto found = std::find(m_rowOrder.begin(), m_rowOrder.end(), *m_selected);
    if (found == m_rowOrder.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - m_rowOrder.begin());
}

std::size_t ContentView::rowsThatFit(std::size_t first, int direction) const
{
    const int visible = m_list->viewport()->height();
    int height = 0;
    std::size_t count = 0;
    const auto size = static_cast<std::ptrdiff_t>(m_rowOrder.size());
    for (auto index = static_cast<std::ptrdiff_t>(first); index >= 0 && index < size; index += direction) {
        const auto& row = m_rows.at(m_rowOrder[static_cast<std::size_t>(index)]);
        height += row.view->height() + row.separator->height();
        if (height > visible) {
            break;
        }
        ++count;
    }
    return std::max<std::size_t>(count, 1);
}

void ContentView::selectIndex(std::size_t index)
{
    const auto id = m_rowOrder.at(index);
    select(id);
    m_list->ensureWidgetVisible(m_rows.at(id).view, 0, 0);
}

void ContentView::select(std::optional<QUuid> id)
{
    if (m_selected == id) {
        return;
    }
    if (m_selected) {
        if (const auto row = m_rows.find(*m_selected); row != m_rows.end()) {
            row->second.view->setSelected(false);
        }
    }
    m_selected = id;
    if (m_selected) {
        m_rows.at(*m_selected).view->setSelected(true);
    }
}
