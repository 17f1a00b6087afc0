#pragma once

#include "engine/clipboard_item.h"
#include "platform/background_timer.h"
#include "platform/clipboard.h"
#include "platform/event_loop.h"

#include <QAbstractListModel>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

/// The one store of the clipboard history, as a list model newest first, with the watcher that captures new
/// clipboard content. Its about-to-change signals announce each step of a change before it is made.
/// Everything but the watcher's tick, which reads the clipboard, runs on the GUI thread.
class ClipboardManager final : public QAbstractListModel, public std::enable_shared_from_this<ClipboardManager>
{
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)

public:
    static constexpr int maxHistory = 50;
    /// What the entries may hold in memory in all (`ClipboardItem::Content::byteSize`), unless told otherwise.
    static constexpr std::size_t defaultContentBudget = std::size_t{512} << 20;

    /// What a row shows and is searched by besides its text (`Qt::DisplayRole`, the trimmed text; nothing for
    /// an image) and what a screen reader reads (`Qt::AccessibleTextRole`, the one-line preview or "Image").
    enum Role
    {
        /// The entry's `QUuid`.
        IdRole = Qt::UserRole,
        /// An image entry's thumbnail source, a `QImage` (null when the picture cannot be decoded); nothing for
        /// a text.
        ThumbnailRole,
        /// A text entry's `ClipboardItem::searchKey` as a `QByteArray` borrowing the entry's bytes, so that a
        /// keystroke copies no text: valid until the history next changes. Nothing for an image.
        SearchKeyRole,
    };

    /// Reads the clipboard's change count, then starts the watcher: what is on the clipboard now is never
    /// captured. The clipboard and the event loop must outlive the store. The oldest entries go once the
    /// entries hold more than `contentBudget` bytes, except the newest.
    [[nodiscard]] static std::shared_ptr<ClipboardManager> create(platform::Clipboard& clipboard,
                                                                  platform::EventLoop& eventLoop,
                                                                  platform::BackgroundTimers& timers,
                                                                  std::size_t contentBudget = defaultContentBudget);
    ~ClipboardManager() override;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    /// Newest first, at most `maxHistory` entries holding at most the content budget.
    [[nodiscard]] const std::vector<ClipboardItem>& history() const { return m_history; }
    /// Replaces the whole history, as one reset of the model.
    void setHistory(std::vector<ClipboardItem> history);
    [[nodiscard]] const QString& searchText() const { return m_searchText; }
    void setSearchText(const QString& searchText);
    [[nodiscard]] std::int64_t lastChangeCount() const { return m_lastChangeCount.load(); }

    /// Captures what is on the clipboard now, if it is a picture or a text that is not blank. Reads on the
    /// calling thread.
    void processNewClipboardItem();
    /// Puts the entry back on the clipboard without capturing it again; `history` stays as it is.
    void copyItem(const ClipboardItem& item);
    /// Puts the entry at `index`, a valid index of this model, back on the clipboard as `copyItem` does.
    void copyItem(const QModelIndex& index);
    /// Empties the history in one reset of the model.
    void clearHistory();

    /// Stops the watcher, cutting short the read of a tick that is running and waiting for that tick: no
    /// capture is queued from then on. For the end of the program, before the clipboard and the event loop go.
    void stopOptimizedClipboardListener();
    /// Stops the watcher as above, but waits at most `patience` for a tick at work it cannot leave (decoding
    /// a huge picture, say). Abandoned: that tick is left to run, and the program must end without
    /// destroying the store, the clipboard or the event loop.
    [[nodiscard]] platform::TimerStop stopOptimizedClipboardListener(std::chrono::milliseconds patience);

signals:
    void searchTextChanged(const QString& searchText);

private:
    ClipboardManager(platform::Clipboard& clipboard, platform::EventLoop& eventLoop, std::size_t contentBudget);
    void startOptimizedClipboardListener(platform::BackgroundTimers& timers);
    /// Earlier contents, each with whether a candidate has the same. Weak: a verdict neither keeps nor frees one.
    using ContentVerdicts = std::vector<std::pair<std::weak_ptr<const ClipboardItem::Content>, bool>>;

    /// On the watcher thread.
    void tick();
    /// On the watcher thread: a repeat of a content captured before and still held shares it, its search key
    /// included, so that it is held and folded once.
    [[nodiscard]] std::optional<ClipboardItem> readCapture();
    /// On the watcher thread: compares a candidate with the contents captured before, so that the GUI thread
    /// never compares large texts nor decodes pictures to find a duplicate.
    [[nodiscard]] ContentVerdicts compareWithCapturedContents(const ClipboardItem& candidate);
    void addToHistory(ClipboardItem candidate, const ContentVerdicts& verdicts = {});
    void dropOldestPastBounds();
    [[nodiscard]] static bool hasSameContent(const ClipboardItem& entry, const ClipboardItem& candidate,
                                             const ContentVerdicts& verdicts);

    std::vector<ClipboardItem> m_history;
    std::size_t m_contentBudget;
    QString m_searchText;
    std::atomic<std::int64_t> m_lastChangeCount = 0;
    std::unique_ptr<platform::BackgroundTimer> m_backgroundTimer;
    // The watcher's own: every content it captured that may still be in the history.
    std::vector<std::weak_ptr<const ClipboardItem::Content>> m_capturedContents;
    platform::Clipboard& m_clipboard;
    platform::EventLoop& m_eventLoop;
};
