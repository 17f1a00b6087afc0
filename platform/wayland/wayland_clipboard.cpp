#include "platform/wayland/wayland_clipboard.h"

#include "platform/clipboard_formats.h"
#include "platform/huge_pages.h"
#include "platform/wayland/wayland_backend.h"

#include <QMetaObject>

#include <algorithm>
#include <array>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::wayland {

namespace {

using Clock = std::chrono::steady_clock;

// How long a content's read session lasts: a capture reads the image, then the text, within it.
constexpr auto sessionLifetime = std::chrono::seconds(5);
// Read in steps of this size, so that a huge content grows by few, large steps.
constexpr qsizetype readChunkSize = 1024 * 1024;

// The forms the X11 side offers a text in; "STRING" is Latin-1 there too.
constexpr std::array textMimeTypes{"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};

enum class Outcome
{
    Received,
    /// The owner sent nothing for the silence limit: busy or hung, it still holds the selection.
    Silent,
    /// The selection went, the owner died, passed the deadline, sent too much, or the read was interrupted.
    Failed,
};

DataControl::Bytes ready(QByteArray bytes)
{
    std::promise<QByteArray> promise;
    promise.set_value(std::move(bytes));
    return promise.get_future().share();
}

/// All the owner writes into `pipe` until it closes it, within the bounds.
Outcome readPipe(int pipe, QByteArray& data, Clock::time_point deadline, int interruption)
{
    auto silenceEnds = Clock::now() + WaylandClipboard::silenceLimit;
    qsizetype size = 0;
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return Outcome::Failed;
        }
        if (now >= silenceEnds) {
            return Outcome::Silent;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(std::min(silenceEnds, deadline) - now);
        std::array descriptors{pollfd{pipe, POLLIN, 0}, pollfd{interruption, POLLIN, 0}};
        if (poll(descriptors.data(), descriptors.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return Outcome::Failed;
        }
        if (descriptors[1].revents != 0) {
            return Outcome::Failed;
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
            return Outcome::Received;
        }
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return Outcome::Failed;
        }
        size += got;
        if (size > WaylandClipboard::maximumSize) {
            return Outcome::Failed;
        }
        silenceEnds = Clock::now() + WaylandClipboard::silenceLimit;
    }
}

} // namespace

std::unique_ptr<Clipboard> createClipboard()
{
    return WaylandClipboard::create();
}

std::unique_ptr<WaylandClipboard> WaylandClipboard::create()
{
    std::unique_ptr<WaylandClipboard> clipboard(new WaylandClipboard);
    clipboard->m_control = DataControl::create([raw = clipboard.get()] { raw->selectionChanged(); });
    return clipboard->m_control ? std::move(clipboard) : nullptr;
}

WaylandClipboard::WaylandClipboard() : m_interruption(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WaylandClipboard::selectionChanged()
{
    m_changeCount.fetch_add(1);
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            if (m_changeHandler) {
                m_changeHandler();
            }
        },
        Qt::QueuedConnection);
}

WaylandClipboard::ReadSession* WaylandClipboard::readSession()
{
    const auto now = Clock::now();
    const auto count = changeCount();
    const auto usable = [this] { return m_session->gaveUp || m_session->secret ? nullptr : &*m_session; };
    if (m_session && m_session->changeCount == count && now - m_session->started < sessionLifetime) {
        return usable();
    }
    auto selection = m_control->selection();
    const bool secret =
        std::ranges::find(selection.mimeTypes, QByteArray(passwordManagerHint)) != selection.mimeTypes.end();
    m_session = ReadSession{count, std::move(selection), now, false, secret};
    return usable();
}

std::optional<QByteArray> WaylandClipboard::read(ReadSession& session, const QByteArray& mimeType)
{
    const auto pipe = m_control->receive(session.selection.serial, mimeType);
    if (!pipe.isValid()) {
        session.gaveUp = true;
        return std::nullopt;
    }
    const auto deadline = session.started + readLimit;
    QByteArray data;
    auto outcome = readPipe(pipe.get(), data, deadline, m_interruption.get());
    // The pipe also ends when its owner dies: only an owner still holding the selection finished it.
    if (outcome == Outcome::Received &&
        !m_control->isCurrent(session.selection.serial, deadline, m_interruption.get())) {
        outcome = Outcome::Failed;
    }
    if (outcome == Outcome::Received) {
        return data;
    }
    session.gaveUp = true;
    // A silent owner is asked once more, at the next tick, unless this was that once more.
    if (outcome == Outcome::Silent && m_retriedSerial != session.selection.serial) {
        m_retriedSerial = session.selection.serial;
        auto expected = session.changeCount;
        m_changeCount.compare_exchange_strong(expected, expected + 1);
    }
    return std::nullopt;
}

std::optional<Clipboard::Images> WaylandClipboard::images()
{
    if (m_control->ownsSelection()) {
        const std::scoped_lock lock(m_ownContentMutex);
        return m_ownContent.image ? std::optional(Images{m_ownContent.image}) : std::nullopt;
    }
    auto* session = readSession();
    const auto mimeType = session ? chooseImageTarget(session->selection.mimeTypes) : std::nullopt;
    auto bytes = mimeType ? read(*session, *mimeType) : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    // Bytes that hold no picture give a null element: the offer was there, the picture was not.
    return std::vector{Image::fromEncoded(std::move(*bytes))};
}

std::optional<QString> WaylandClipboard::text()
{
    if (m_control->ownsSelection()) {
        const std::scoped_lock lock(m_ownContentMutex);
        return m_ownContent.text;
    }
    auto* session = readSession();
    for (const auto& form : textForms) {
        if (!session || session->gaveUp) {
            return std::nullopt;
        }
        const QByteArray mimeType(form.target);
        if (std::ranges::find(session->selection.mimeTypes, mimeType) == session->selection.mimeTypes.end()) {
            continue;
        }
        if (const auto bytes = read(*session, mimeType)) {
            return decodeText(*bytes, form.encoding);
        }
    }
    return std::nullopt;
}

void WaylandClipboard::setReadsInterrupted(bool interrupted)
{
    if (interrupted) {
        eventfd_write(m_interruption.get(), 1);
    } else {
        eventfd_t value = 0;
        eventfd_read(m_interruption.get(), &value);
    }
}

void WaylandClipboard::write(OwnContent content, std::vector<DataControl::Offered> offered)
{
    {
        const std::scoped_lock lock(m_ownContentMutex);
        m_ownContent = std::move(content);
    }
    m_control->setSelection(std::move(offered));
}

void WaylandClipboard::clear()
{
    write({}, {});
    m_changeCount.fetch_add(1);
}

void WaylandClipboard::setText(const QString& text)
{
    const auto utf8 = ready(text.toUtf8());
    std::vector<DataControl::Offered> offered;
    for (const auto* mimeType : textMimeTypes) {
        offered.push_back({mimeType, mimeType == std::string_view("STRING") ? ready(text.toLatin1()) : utf8});
    }
    write({text, nullptr}, std::move(offered));
}

void WaylandClipboard::setImage(std::shared_ptr<const Image> image)
{
    if (!image) {
        return;
    }
    // A picture that came in another format is encoded as PNG beside the GUI thread, and served once done.
    const auto png = image->encodedFormat() == "png"
                         ? ready(image->encodedBytes())
                         : std::async(std::launch::async, [image] {
                               return encodeImage(image->toQImage(), "png").value_or(QByteArray());
                           }).share();
    std::vector<DataControl::Offered> offered{{pngMimeType, png}};
    const auto original = mimeTypeForFormat(image->encodedFormat()).toLatin1();
    if (!original.isEmpty() && original != pngMimeType) {
        offered.push_back({original, ready(image->encodedBytes())});
    }
    write({std::nullopt, std::move(image)}, std::move(offered));
}

} // namespace platform::wayland
