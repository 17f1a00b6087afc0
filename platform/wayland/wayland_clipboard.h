#pragma once

#include "platform/clipboard.h"
#include "platform/wayland/data_control.h"

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

namespace platform::wayland {

/// The clipboard of a Wayland session through the data-control protocol, which needs neither a window nor
/// the focus. Another application's content is read through the pipe of its offer, on whichever thread
/// asks, one at a time, with the same bounds as on X11; what Velmora itself put there is answered from what
/// it wrote. The change count moves once for each new selection of another application and once for each
/// of our own clears. The writes and the change reports are on the GUI thread.
class WaylandClipboard final : public Clipboard
{
public:
    /// How long another application may send nothing before a read gives up on it; such a read is tried
    /// once more, at the watcher's next tick, if nothing was copied meanwhile.
    static constexpr std::chrono::milliseconds silenceLimit{1500};
    /// How long one capture may wait for another application however steadily it sends.
    static constexpr std::chrono::seconds readLimit{30};
    /// Largest content accepted, in bytes.
    static constexpr qsizetype maximumSize = 128 * 1024 * 1024;

    /// Null unless the application runs on Qt's wayland platform and the compositor offers data-control.
    [[nodiscard]] static std::unique_ptr<WaylandClipboard> create();

    WaylandClipboard(const WaylandClipboard&) = delete;
    WaylandClipboard& operator=(const WaylandClipboard&) = delete;
    ~WaylandClipboard() override = default;

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    void setChangeHandler(std::function<void()> handler) override { m_changeHandler = std::move(handler); }
    [[nodiscard]] std::optional<Images> images() override;
    [[nodiscard]] std::optional<QString> text() override;
    void setReadsInterrupted(bool interrupted) override;
    void clear() override;
    /// Each write replaces what an earlier one put: the engine writes one value after a clear.
    void setText(const QString& text) override;
    void setImage(std::shared_ptr<const Image> image) override;

private:
    // The reads of one content share one deadline: the image, then the text.
    struct ReadSession
    {
        std::int64_t changeCount = 0;
        DataControl::Selection selection;
        std::chrono::steady_clock::time_point started;
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

    WaylandClipboard();

    /// The session of the current content; null when nothing of it may be read.
    [[nodiscard]] ReadSession* readSession();
    /// The content as `mimeType`; nothing when the owner cannot give it or the session gave up on it.
    [[nodiscard]] std::optional<QByteArray> read(ReadSession& session, const QByteArray& mimeType);
    void write(OwnContent content, std::vector<DataControl::Offered> offered);
    /// On the data-control thread.
    void selectionChanged();

    std::atomic<std::int64_t> m_changeCount = 0;
    mutable std::mutex m_ownContentMutex;
    OwnContent m_ownContent;

    // Used by the reading thread only.
    std::optional<ReadSession> m_session;
    std::uint64_t m_retriedSerial = 0;

    // Readable once reads must end at once.
    FileDescriptor m_interruption;
    // Receives the change reports from the data-control thread; going with the clipboard, it takes them along.
    QObject m_context;
    std::function<void()> m_changeHandler;
    // Last: its thread reports into the members above until it ends.
    std::unique_ptr<DataControl> m_control;
};

} // namespace platform::wayland
