#pragma once

#include "engine/clipboard_item.h"
#include "engine/signal.h"
#include "views/history_filter.h"
#include "views/thumbnail_cache.h"

#include <QString>
#include <QUuid>
#include <QWidget>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

class ClipboardItemView;
class ClipboardManager;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QScrollArea;
class QVBoxLayout;

namespace platform {
class EventLoop;
}

/// The content of the panel: a card with the search field and the quit button, the history list (or a
/// message when it is empty) and the "Clear" button. It shows what the manager holds and refreshes once
/// per burst of the manager's change notifications. The keyboard stays in the search field; the arrow,
/// page, Home and End keys move a selection through the rows, Return runs the selected row. GUI thread.
class ContentView final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cardWidth = 320;
    static constexpr int cardHeight = 420;
    static constexpr qreal cornerRadius = 12;
    /// How long after the view comes on screen the search field asks for the keyboard focus.
    static constexpr std::chrono::milliseconds focusDelay{100};

    /// `manager` and `eventLoop` must outlive the view. A row's action calls `manager.copyItem()` with its
    /// entry, then `performAutoPaste`; the quit button calls `quit`.
    ContentView(ClipboardManager& manager, platform::EventLoop& eventLoop, std::function<void()> performAutoPaste,
                std::function<void()> quit, QWidget* parent = nullptr);

signals:
    /// Escape was pressed: whoever shows the view closes it, as its hot key would.
    void closeRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row
    {
        ClipboardItemView* view = nullptr;
        QWidget* separator = nullptr;
    };

    [[nodiscard]] QWidget* makeHeader();
    [[nodiscard]] QWidget* makeList();
    [[nodiscard]] QWidget* makeFooter();
    [[nodiscard]] Row makeRow(const ClipboardItem& item);
    void scheduleRefresh();
    void refresh();
    void updateRows(const std::vector<ClipboardItem>& items);
    [[nodiscard]] bool handleKey(const QKeyEvent& event);
    [[nodiscard]] std::optional<std::size_t> selectedIndex() const;
    /// How many rows, from `first` on in `direction` (+1 down, -1 up), fit in the visible list; at least one.
    [[nodiscard]] std::size_t rowsThatFit(std::size_t first, int direction) const;
    /// Moves the highlight to the listed row at `index` and scrolls it into view.
    void selectIndex(std::size_t index);
    void select(std::optional<QUuid> id);

    ClipboardManager& m_manager;
    platform::EventLoop& m_eventLoop;
    std::function<void()> m_performAutoPaste;
    std::function<void()> m_quit;
    HistoryFilter m_filter;
    ThumbnailCache m_thumbnails;
    // Rows live as long as their entry stays in the list, so that they keep their hover state.
    std::unordered_map<QUuid, Row, ClipboardItem::IdHash> m_rows;
    std::vector<QUuid> m_rowOrder;
    // The one highlighted row, moved by the keys and by the pointer.
    std::optional<QUuid> m_selected;
    // A new search starts a new selection.
    QString m_listedSearchText;
    QLineEdit* m_searchField = nullptr;
    QLabel* m_emptyMessage = nullptr;
    QScrollArea* m_list = nullptr;
    QWidget* m_listContent = nullptr;
    QVBoxLayout* m_listLayout = nullptr;
    bool m_isRefreshScheduled = false;
    Connection m_willChange;
};
