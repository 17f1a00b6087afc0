#include "platform/wayland/wayland_backend.h"

#include "platform/clipboard_formats.h"
#include "platform/huge_pages.h"
#include "platform/selection_clipboard.h"
#include "platform/wayland/data_control.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include <poll.h>
#include <unistd.h>

namespace platform::wayland {

namespace {

using Clock = std::chrono::steady_clock;

// Read in steps of this size, so that a huge content grows by few, large steps.
constexpr qsizetype readChunkSize = 1024 * 1024;

// Texts up to this many characters are converted to Latin-1 for a reader on the spot.
constexpr qsizetype quickTextSize = 64 * 1024;

// The forms the X11 side offers a text in; "STRING" is Latin-1 there too.
constexpr std::array textMimeTypes{"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};

/// All the owner writes into `pipe` until it closes it, within `limits`.
ReadOutcome readPipe(int pipe, QByteArray& data, const ReadLimits& limits)
{
    auto silenceEnds = Clock::now() + limits.silence;
    qsizetype size = 0;
    for (;;) {
        const auto now = Clock::now();
        if (now >= limits.deadline) {
            return ReadOutcome::Failed;
        }
        if (now >= silenceEnds) {
            return ReadOutcome::Silent;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(std::min(silenceEnds, limits.deadline) - now);
        std::array descriptors{pollfd{pipe, POLLIN, 0}, pollfd{limits.stop, POLLIN, 0}};
        if (poll(descriptors.data(), descriptors.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return ReadOutcome::Failed;
        }
        if (descriptors[1].revents != 0) {
            return ReadOutcome::Failed;
        }
        if (descriptors[0].revents == 0) {
            continue;
        }
        if (data.size() - size < readChunkSize) {
            const auto capacity = data.capacity();
            data.resize(size + readChunkSize);
            if (data.capacity() != capacity) {
                adviseHugePages(data.data(), static_cast<std::size_t>(data.capacity()));
            }
        }
        const auto got = ::read(pipe, data.data() + size, static_cast<std::size_t>(data.size() - size));
        if (got == 0) {
            data.truncate(size);
            data.squeeze();
            return ReadOutcome::Received;
        }
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return ReadOutcome::Failed;
        }
        size += got;
        if (size > maximumReadSize) {
            return ReadOutcome::Failed;
        }
        silenceEnds = Clock::now() + limits.silence;
    }
}

/// The forms of our own copy. A text is kept once, as UTF-8, and a picture as it came; other forms are made
/// when a reader asks. Made on the GUI thread from what the engine holds, so that the data-control thread
/// only ever touches what this thread made and handed over under its lock.
std::vector<DataControl::Offered> offeredForms(const OwnContent& content)
{
    using Work = DataControl::Offered::Work;
    std::vector<DataControl::Offered> offered;
    if (const auto& text = content.text) {
        const auto utf8 = text->toUtf8();
        const auto work = text->size() <= quickTextSize ? Work::Quick : Work::Slow;
        for (const auto* mimeType : textMimeTypes) {
            offered.push_back({mimeType,
                               mimeType == std::string_view("STRING")
                                   ? std::function([utf8] { return QString::fromUtf8(utf8).toLatin1(); })
                                   : std::function([utf8] { return utf8; }),
                               mimeType == std::string_view("STRING") ? work : Work::Quick});
        }
    }
    if (const auto& image = content.image) {
        const auto encoded = image->encodedBytes();
        const auto original = [encoded] { return encoded; };
        if (image->encodedFormat() == "png") {
            offered.push_back({pngMimeType, original, Work::Quick});
        } else {
            offered.push_back({pngMimeType, [encoded] {
                                   const auto decoded = Image::fromEncoded(encoded);
                                   return decoded ? encodeImage(decoded->toQImage(), "png").value_or(QByteArray())
                                                  : QByteArray();
                               }});
        }
        const auto originalMimeType = mimeTypeForFormat(image->encodedFormat()).toLatin1();
        if (!originalMimeType.isEmpty() && originalMimeType != pngMimeType) {
            offered.push_back({originalMimeType, original, Work::Quick});
        }
    }
    return offered;
}

/// The selection of a Wayland session through the data-control protocol, which needs neither a window nor
/// the focus. Another application's copy is read through the pipe of its offer; the changes are reported
/// on the data-control thread, as the compositor tells them.
class WaylandSelection final : public SelectionSource
{
public:
    WaylandSelection(std::unique_ptr<DataControl> control, ChangeReport changed)
        : m_control(std::move(control)), m_changed(std::move(changed))
    {}

    [[nodiscard]] ReadResult<std::vector<QByteArray>> forms(const ReadLimits& /*limits*/) override
    {
        m_reading = reconnected();
        auto selection = m_reading->selection();
        m_serial = selection.serial;
        return {m_serial == 0 ? ReadOutcome::Refused : ReadOutcome::Received, std::move(selection.mimeTypes)};
    }

    [[nodiscard]] ReadResult<QByteArray> read(const QByteArray& form, const ReadLimits& limits) override
    {
        const auto pipe = m_reading->receive(m_serial, form);
        if (!pipe.isValid()) {
            return {};
        }
        ReadResult<QByteArray> result;
        result.outcome = readPipe(pipe.get(), result.value, limits);
        // The pipe also ends when its owner dies: only an owner still holding the selection finished it.
        if (result.outcome == ReadOutcome::Received && !m_reading->isCurrent(m_serial, limits.deadline, limits.stop)) {
            return {};
        }
        return result;
    }

    // A dropped connection owns nothing: the next read makes a new one.
    [[nodiscard]] bool ownsSelection() const override
    {
        const auto current = control();
        return !current->isBroken() && current->ownsSelection();
    }

    void publish(const OwnContent& content) override
    {
        const std::scoped_lock lock(m_controlMutex);
        m_published = content;
        m_control->setSelection(offeredForms(content));
    }

private:
    [[nodiscard]] std::shared_ptr<DataControl> control() const
    {
        const std::scoped_lock lock(m_controlMutex);
        return m_control;
    }

    /// The connection, made again if the compositor dropped it (a flood of readers of our selection can make
    /// it do so), with our own content offered again where it was the selection. The process and its history
    /// outlive the connection.
    [[nodiscard]] std::shared_ptr<DataControl> reconnected()
    {
        if (auto current = control(); !current->isBroken()) {
            return current;
        }
        std::shared_ptr<DataControl> fresh = DataControl::create(m_changed);
        const std::scoped_lock lock(m_controlMutex);
        if (fresh) {
            if (m_control->ownsSelection() && m_published) {
                fresh->setSelection(offeredForms(*m_published));
            }
            m_control = std::move(fresh);
        }
        return m_control;
    }

    mutable std::mutex m_controlMutex;
    std::shared_ptr<DataControl> m_control;
    std::optional<OwnContent> m_published;
    const ChangeReport m_changed;
    // The connection and the selection begun by forms(); used by the reading thread only.
    std::shared_ptr<DataControl> m_reading;
    std::uint64_t m_serial = 0;
};

} // namespace

std::unique_ptr<Clipboard> createClipboard()
{
    return SelectionClipboard::create([](SelectionSource::ChangeReport changed) -> std::unique_ptr<SelectionSource> {
        auto control = DataControl::create(changed);
        return control ? std::make_unique<WaylandSelection>(std::move(control), std::move(changed)) : nullptr;
    });
}

} // namespace platform::wayland
