#pragma once

#include "engine/clipboard_item.h"
#include "platform/dispatch.h"
#include "platform/pasteboard.h"
#include "platform/signal.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

/// The one store of the clipboard history, with the watcher that captures new clipboard content.
/// Everything but the watcher's tick runs on the GUI thread.
class ClipboardManager final : public std::enable_shared_from_this<ClipboardManager>
{
public:
    static constexpr int maxHistory = 50;

    /// Reads the pasteboard's change count, then starts the watcher: what is on the pasteboard now is
    /// never captured. The pasteboard and the queues must outlive the store.
    [[nodiscard]] static std::shared_ptr<ClipboardManager> create(platform::Pasteboard& pasteboard,
                                                                  platform::MainQueue& mainQueue,
                                                                  platform::QueueFactory& queues);

    /// Fires before every change of `history` or `searchText`.
    [[nodiscard]] platform::Signal<>& objectWillChange() { return m_objectWillChange; }

    /// Newest first, at most `maxHistory` entries.
    [[nodiscard]] const std::vector<ClipboardItem>& history() const { return m_history; }
    void setHistory(std::vector<ClipboardItem> history);
    [[nodiscard]] const QString& searchText() const { return m_searchText; }
    void setSearchText(QString searchText);
    [[nodiscard]] std::int64_t lastChangeCount() const { return m_lastChangeCount.load(); }
    void setLastChangeCount(std::int64_t changeCount) { m_lastChangeCount.store(changeCount); }

    /// Captures what is on the pasteboard now, if it is a picture or a text that is not blank.
    void processNewClipboardItem();
    /// Puts the entry back on the pasteboard without capturing it again; `history` stays as it is.
    void copyItem(const ClipboardItem& item);
    void clearHistory();

private:
    ClipboardManager(platform::Pasteboard& pasteboard, platform::MainQueue& mainQueue);
    void startOptimizedClipboardListener(platform::QueueFactory& queues);
    /// On the watcher queue.
    void tick();

    platform::Signal<> m_objectWillChange;
    std::vector<ClipboardItem> m_history;
    QString m_searchText;
    std::atomic<std::int64_t> m_lastChangeCount = 0;
    std::unique_ptr<platform::TimerSource> m_backgroundTimer;
    platform::Pasteboard& m_pasteboard;
    platform::MainQueue& m_mainQueue;
};
