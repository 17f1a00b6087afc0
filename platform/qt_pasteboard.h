#pragma once

#include "platform/pasteboard.h"
#include "platform/x11/selection_reader.h"

#include <QByteArray>
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

/// The general pasteboard on the X11 CLIPBOARD selection. What Velmora itself put there is read straight
/// from QClipboard; another application's content through a reader of our own with a bound on every wait,
/// since an owner that never answers would hold Qt's reader, and the GUI thread, for 5 s per request.
/// Needs the application object. GUI thread only, but `changeCount()`.
class QtPasteboard final : public Pasteboard
{
public:
    /// How long another application may send nothing before a read gives up on it. A read given up so is
    /// tried once more, at the watcher's next tick, if nothing was copied meanwhile and the same window
    /// still owns the clipboard: the change count moves once more for it.
    static constexpr std::chrono::milliseconds silenceLimit{1500};
    /// How long one capture may wait for another application however steadily it sends.
    static constexpr std::chrono::seconds readLimit{30};

    QtPasteboard();
    QtPasteboard(const QtPasteboard&) = delete;
    QtPasteboard& operator=(const QtPasteboard&) = delete;
    ~QtPasteboard() override;

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    [[nodiscard]] std::optional<std::vector<std::shared_ptr<const Image>>> readImages() override;
    [[nodiscard]] std::optional<QString> string() override;
    void clearContents() override;
    /// Each write replaces what an earlier one put: the engine writes one value after a clear.
    void setString(const QString& text) override;
    void writeObjects(const std::vector<std::shared_ptr<const Image>>& images) override;

private:
    // The reads of one content share one deadline and one list of targets: the image, then the text.
    struct ReadSession
    {
        std::int64_t changeCount = 0;
        std::chrono::steady_clock::time_point started;
        std::chrono::steady_clock::time_point deadline;
        std::vector<QByteArray> targets;
        bool answeredTargets = false;
        bool gaveUp = false;
        // A password manager's copy: read nothing of it.
        bool secret = false;
    };

    // The one extra read granted to a content whose owner fell silent.
    struct Retry
    {
        std::uint32_t owner = 0;
        std::int64_t changeCount = 0;
    };

    [[nodiscard]] bool ownsClipboard() const;
    [[nodiscard]] ReadSession* readSession();
    void giveUp(ReadSession& session, x11::SelectionReader::Outcome outcome, std::uint32_t owner);

    std::atomic<std::int64_t> m_changeCount = 0;
    // Null off X11, where QClipboard is read directly.
    std::unique_ptr<x11::SelectionReader> m_reader;
    bool m_onX11 = false;
    std::optional<ReadSession> m_session;
    std::optional<Retry> m_retry;
    // Receives the retries scheduled during a capture; going with the pasteboard, it takes them along.
    QObject m_retryContext;
    QMetaObject::Connection m_clipboardChanged;
};

} // namespace platform
