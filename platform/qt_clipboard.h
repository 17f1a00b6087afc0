#pragma once

#include "platform/clipboard.h"
#include "platform/x11/selection_reader.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

/// The clipboard on the X11 CLIPBOARD selection. What Velmora itself put there is answered from what it
/// wrote; another application's content is read through a reader of our own with a bound on every wait,
/// since an owner that never answers would hold Qt's reader for 5 s per request. Reads run on whichever
/// thread asks, one at a time, so that a slow or huge copy never holds the GUI thread; the writes and the
/// change reports are on the GUI thread. Needs the application object.
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
    ~QtClipboard() override;

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    /// Qt reports the change as the X server does (XFixes), a moment after the copy.
    void setChangeHandler(std::function<void()> handler) override { m_changeHandler = std::move(handler); }
    [[nodiscard]] std::optional<Images> images() override;
    [[nodiscard]] std::optional<QString> text() override;
    void setReadsInterrupted(bool interrupted) override;
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
        std::vector<QByteArray> targets;
        bool answeredTargets = false;
        bool gaveUp = false;
        // A password manager's copy: read nothing of it.
        bool secret = false;
    };

    // What Velmora last wrote, answered while it owns the clipboard.
    struct OwnContent
    {
        std::optional<QString> text;
        std::shared_ptr<const Image> image;
    };

    /// The session of the current content; null when nothing of it may be read.
    [[nodiscard]] ReadSession* readSession();
    /// The content as `target`; nothing when the owner refused it or the session gave up on the owner.
    [[nodiscard]] std::optional<QByteArray> read(ReadSession& session, const QByteArray& target);
    [[nodiscard]] x11::SelectionReader::Patience patience(const ReadSession& session) const
    {
        return {silenceLimit, session.started + readLimit, m_interruption};
    }
    void giveUp(ReadSession& session, x11::SelectionReader::Outcome outcome, std::uint32_t owner);
    void write(OwnContent content);

    std::atomic<std::int64_t> m_changeCount = 0;
    // Kept by the GUI thread, from Qt's reports and our own writes, for the reading thread.
    std::atomic<bool> m_ownsClipboard = false;
    mutable std::mutex m_ownContentMutex;
    OwnContent m_ownContent;

    // The screen's root window, 0 off X11; read on the GUI thread, where Qt's connection lives.
    std::uint32_t m_root;
    // Used by the reading thread only.
    std::unique_ptr<x11::SelectionReader> m_reader;
    std::optional<ReadSession> m_session;
    std::uint32_t m_retriedOwner = 0;
    // The change count given to the one extra read of a silent owner; set on the GUI thread.
    std::atomic<std::int64_t> m_retriedChangeCount = -1;

    // Readable once reads must end at once.
    int m_interruption = -1;
    // Receives Qt's change reports and the retries scheduled during a capture; going with the clipboard,
    // it takes them along.
    QObject m_context;
    std::function<void()> m_changeHandler;
};

} // namespace platform
