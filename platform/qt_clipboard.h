#pragma once

#include "platform/clipboard.h"
#include "platform/x11/selection_reader.h"

#include <QByteArray>
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

/// The clipboard on the X11 CLIPBOARD selection. What Velmora itself put there is read straight
/// from QClipboard; another application's content through a reader of our own with a bound on every wait,
/// since an owner that never answers would hold Qt's reader, and the GUI thread, for 5 s per request.
/// Needs the application object. GUI thread only, but `changeCount()`.
class QtClipboard final : public Clipboard
{
public:
    /// How long another application may send nothing before a read gives up on it. A read given up so is
    /// tried once more, at the watcher's next tick, if nothing was copied meanwhile and the same window
    /// still owns the clipboard: the change count moves once more for it.
    static constexpr std::chrono::milliseconds silenceLimit{1500};
    /// How long one capture may wait for another application however steadily it sends.
    static constexpr std::chrono::seconds readLimit{30};

    QtClipboard();
    QtClipboard(const QtClipboard&) = delete;
    QtClipboard& operator=(const QtClipboard&) = delete;
    ~QtClipboard() override;

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    /// Qt reports the change as the X server does (XFixes), a moment after the copy.
    void setChangeHandler(std::function<void()> handler) override { m_changeHandler = std::move(handler); }
    [[nodiscard]] std::optional<Images> images() override;
    [[nodiscard]] std::optional<QString> text() override;
    void clear() override;
    /// Each write replaces what an earlier one put: the engine writes one value after a clear.
    void setText(const QString& text) override;
    void setImage(std::shared_ptr<const Image> image) override;

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
    // Receives the retries scheduled during a capture; going with the clipboard, it takes them along.
    QObject m_retryContext;
    QMetaObject::Connection m_clipboardChanged;
    std::function<void()> m_changeHandler;
};

} // namespace platform
