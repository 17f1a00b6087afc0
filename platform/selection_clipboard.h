#pragma once

#include "platform/clipboard.h"
#include "platform/file_descriptor.h"
#include "platform/selection_source.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

/// The clipboard on any desktop: the one policy for reading another application's copy over a
/// `SelectionSource` (the order of forms, the password manager's hint, the bounds, the retry of a silent
/// owner, a newer copy ending an older read), and our own copy answered from what we wrote.
/// Reads run on one thread at a time, any thread, and each ends at once when the selection changes or reads
/// are interrupted. Changes are reported, and the change handler called, on the source's reporting thread.
class SelectionClipboard final : public Clipboard
{
public:
    using SourceFactory = std::function<std::unique_ptr<SelectionSource>(SelectionSource::ChangeReport)>;

    /// How long another application may send nothing before a read gives up on it; such a read is tried once
    /// more, at the watcher's next tick, if nothing was copied meanwhile.
    static constexpr std::chrono::milliseconds silenceLimit{1500};
    /// How long one capture may wait for another application however steadily it sends.
    static constexpr std::chrono::seconds readLimit{30};

    /// Null when `makeSource` gives no source.
    [[nodiscard]] static std::unique_ptr<Clipboard> create(const SourceFactory& makeSource);

    SelectionClipboard(const SelectionClipboard&) = delete;
    SelectionClipboard& operator=(const SelectionClipboard&) = delete;
    ~SelectionClipboard() override;

    /// The one retry of a silent owner shows here, at the first look after the capture that gave up on it.
    [[nodiscard]] std::int64_t changeCount() const override;
    /// The handler runs on the thread that hears of the change; once unset, no call of it is running.
    void setChangeHandler(std::function<void()> handler) override;
    [[nodiscard]] std::optional<Images> images() override;
    [[nodiscard]] std::optional<QString> text() override;
    void setReadsInterrupted(bool interrupted) override;
    void clear() override;
    /// Each write replaces what an earlier one put: the engine writes one value after a clear.
    void setText(const QString& text) override;
    void setImage(std::shared_ptr<const Image> image) override;

private:
    // The reads of one copy share one deadline and one list of forms: the picture, then the text.
    struct ReadSession
    {
        std::int64_t changeCount = 0;
        std::chrono::steady_clock::time_point started;
        // Unknown for an owner that gives no list: each text form is then asked for in turn.
        std::optional<std::vector<QByteArray>> forms;
        bool gaveUp = false;
    };

    SelectionClipboard();

    void selectionChanged();
    /// The session of the current copy; null when nothing of it may be read.
    [[nodiscard]] ReadSession* readSession();
    /// The copy as `form`; nothing when the owner refused it or the session gave up on the owner.
    [[nodiscard]] std::optional<QByteArray> read(ReadSession& session, const QByteArray& form);
    [[nodiscard]] ReadLimits limits(const ReadSession& session) const;
    void retryOnce(std::int64_t changeCount);
    [[nodiscard]] std::optional<OwnContent> ownContent() const;
    void write(OwnContent content);

    // Moved by changeCount() too, for a retry.
    mutable std::atomic<std::int64_t> m_changeCount = 0;
    std::atomic<bool> m_readsInterrupted = false;
    // Readable once a read under way must end: written before the change count moves, drained as a session
    // starts after reading the count, so that a stop always means a newer count or an interruption.
    FileDescriptor m_stop;

    // Held while the handler runs, so that unsetting it waits for a call under way.
    std::mutex m_changeHandlerMutex;
    std::function<void()> m_changeHandler;

    mutable std::mutex m_ownContentMutex;
    OwnContent m_ownContent;

    // The change count of a copy whose owner fell silent, to be read once more; the count given to that read.
    // Taken up by the next look at the count rather than at once, which would start the capture's next
    // read over and wait for the silent owner again.
    std::atomic<std::int64_t> m_silentChangeCount = -1;
    mutable std::atomic<std::int64_t> m_retriedChangeCount = -1;

    // Used by the reading thread only.
    std::optional<ReadSession> m_session;

    // Last: it reports into the members above until it goes.
    std::unique_ptr<SelectionSource> m_source;
};

} // namespace platform
