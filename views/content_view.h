#pragma once

#include "views/thumbnail_cache.h"

#include <QPersistentModelIndex>
#include <QWidget>

#include <chrono>

class ClipboardItemView;
class ClipboardManager;
class HistoryFilter;
class HistoryList;
class QKeyEvent;
class QLabel;
class QLineEdit;

namespace platform {
class EventLoop;
}

/// The content of the panel: a card with the search field and the quit button, the history list (or a
/// message when it is empty) and the "Clear" button. The keyboard stays in the search field; the arrow,
/// page, Home and End keys move the list's selection, Return runs the selected row. GUI thread.
class ContentView final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cardWidth = 320;
    static constexpr int cardHeight = 420;
    static constexpr qreal cornerRadius = 12;
    /// How long after the view comes on screen the search field asks for the keyboard focus.
    static constexpr std::chrono::milliseconds focusDelay{100};

    /// `manager` and `eventLoop` must outlive the view.
    ContentView(ClipboardManager& manager, platform::EventLoop& eventLoop, QWidget* parent = nullptr);

signals:
    /// A row was clicked, or Return pressed on it, and its entry is back on the clipboard: whoever shows the
    /// view pastes it where the user was working.
    void pasteRequested();
    /// The quit button was clicked.
    void quitRequested();
    /// Escape was pressed: whoever shows the view closes it, as its hot key would.
    void closeRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] QWidget* makeHeader();
    [[nodiscard]] QWidget* makeList();
    [[nodiscard]] QWidget* makeFooter();
    void showListOrMessage();
    void runRow(const QModelIndex& index);
    void hover(const QModelIndex& index);
    [[nodiscard]] bool handleKey(QKeyEvent& event);
    void makeThumbnails(int first, int last);

    ClipboardManager& m_manager;
    platform::EventLoop& m_eventLoop;
    ThumbnailCache m_thumbnails;
    HistoryFilter* m_filter = nullptr;
    ClipboardItemView* m_rowView = nullptr;
    // The row under the pointer: leaving it takes the selection away only if the keys have not moved it.
    QPersistentModelIndex m_hoveredRow;
    QLineEdit* m_searchField = nullptr;
    QLabel* m_emptyMessage = nullptr;
    HistoryList* m_list = nullptr;
};
