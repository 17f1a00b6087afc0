#include "platform/qt_clipboard.h"

#include "platform/clipboard_formats.h"
#include "platform/x11/connection.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMetaObject>
#include <QMimeData>

#include <algorithm>

#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using x11::SelectionReader;

// How long a content's read session lasts: a capture reads the image, then the text, within it.
constexpr auto sessionLifetime = std::chrono::seconds(5);

QClipboard& clipboard()
{
    return *QGuiApplication::clipboard();
}

/// One picture on the clipboard, offered as PNG and in the form it arrived in, encoded only when
/// another application asks.
class ImageMimeData final : public QMimeData
{
public:
    explicit ImageMimeData(std::shared_ptr<const Image> image)
        : m_image(std::move(image)), m_originalMimeType(mimeTypeForFormat(m_image->encodedFormat()))
    {}

    [[nodiscard]] QStringList formats() const override
    {
        QStringList result{QString::fromLatin1(pngMimeType)};
        if (!m_originalMimeType.isEmpty() && !result.contains(m_originalMimeType)) {
            result.append(m_originalMimeType);
        }
        return result;
    }

protected:
    [[nodiscard]] QVariant retrieveData(const QString& mimeType, QMetaType /*type*/) const override
    {
        if (mimeType == m_originalMimeType) {
            return m_image->encodedBytes();
        }
        return mimeType == QLatin1String(pngMimeType) ? encodeImage(m_image->toQImage(), "png").value_or(QByteArray())
                                                      : QVariant();
    }

private:
    std::shared_ptr<const Image> m_image;
    QString m_originalMimeType;
};

} // namespace

QtClipboard::QtClipboard()
    : m_ownsClipboard(clipboard().ownsClipboard()), m_root(x11::applicationRoot()),
      m_interruption(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    // Qt may report a change of an earlier owner right after our own write, so only changes while
    // another application owns the clipboard count; our own writes count in clear().
    QObject::connect(&clipboard(), &QClipboard::changed, &m_context, [this](QClipboard::Mode mode) {
        if (mode != QClipboard::Clipboard) {
            return;
        }
        m_ownsClipboard = clipboard().ownsClipboard();
        if (!m_ownsClipboard) {
            m_changeCount.fetch_add(1);
            if (m_changeHandler) {
                m_changeHandler();
            }
        }
    });
}

QtClipboard::~QtClipboard()
{
    close(m_interruption);
}

QtClipboard::ReadSession* QtClipboard::readSession()
{
    const auto now = Clock::now();
    const auto count = changeCount();
    const auto usable = [this] { return m_session->gaveUp || m_session->secret ? nullptr : &*m_session; };
    if (m_session && m_session->changeCount == count && now - m_session->started < sessionLifetime) {
        return usable();
    }
    if (!m_reader || !m_reader->isConnected()) {
        m_reader = SelectionReader::create(m_root);
    }
    if (!m_reader) {
        return nullptr;
    }
    m_session = ReadSession{count, now, {}, false, false, false};
    auto targets = m_reader->targets(patience(*m_session));
    if (targets.outcome == SelectionReader::Outcome::Received) {
        m_session->targets = std::move(targets.value);
        m_session->answeredTargets = true;
        m_session->secret = std::find(m_session->targets.begin(), m_session->targets.end(), passwordManagerHint) !=
                            m_session->targets.end();
    } else if (targets.outcome != SelectionReader::Outcome::Refused) {
        giveUp(*m_session, targets.outcome, targets.owner);
    }
    return usable();
}

std::optional<QByteArray> QtClipboard::read(ReadSession& session, const QByteArray& target)
{
    auto transfer = m_reader->read(target, patience(session));
    if (transfer.outcome == SelectionReader::Outcome::Failed || transfer.outcome == SelectionReader::Outcome::Silent) {
        giveUp(session, transfer.outcome, transfer.owner);
    }
    return transfer.outcome == SelectionReader::Outcome::Received ? std::optional(std::move(transfer.value))
                                                                  : std::nullopt;
}

void QtClipboard::giveUp(ReadSession& session, SelectionReader::Outcome outcome, std::uint32_t owner)
{
    session.gaveUp = true;
    // A silent owner is asked once more, unless this was that once more.
    if (outcome != SelectionReader::Outcome::Silent ||
        (m_retriedChangeCount.load() == session.changeCount && m_retriedOwner == owner)) {
        return;
    }
    m_retriedOwner = owner;
    // Only if the content is still the one that was read: a newer copy is read at the next tick anyway.
    QMetaObject::invokeMethod(
        &m_context,
        [this, count = session.changeCount] {
            auto expected = count;
            if (m_changeCount.compare_exchange_strong(expected, count + 1)) {
                m_retriedChangeCount.store(count + 1);
            }
        },
        Qt::QueuedConnection);
}

std::optional<Clipboard::Images> QtClipboard::images()
{
    if (m_ownsClipboard) {
        const std::scoped_lock lock(m_ownContentMutex);
        return m_ownContent.image ? std::optional(Images{m_ownContent.image}) : std::nullopt;
    }
    auto* session = readSession();
    const auto target = session ? chooseImageTarget(session->targets) : std::nullopt;
    auto bytes = target ? read(*session, *target) : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    // Bytes that hold no picture give a null element: the offer was there, the picture was not.
    auto image = Image::fromEncoded(std::move(*bytes));
    if (image) {
        // The one decode, on the reading thread, that gives the digest comparisons use and the thumbnail.
        static_cast<void>(image->thumbnailSource());
    }
    return std::vector{std::move(image)};
}

std::optional<QString> QtClipboard::text()
{
    if (m_ownsClipboard) {
        const std::scoped_lock lock(m_ownContentMutex);
        return m_ownContent.text;
    }
    auto* session = readSession();
    for (const auto& form : textForms) {
        if (!session || session->gaveUp) {
            return std::nullopt;
        }
        // An owner without a list of targets is asked for each form in turn.
        const QByteArray target(form.target);
        if (session->answeredTargets && std::ranges::find(session->targets, target) == session->targets.end()) {
            continue;
        }
        if (const auto bytes = read(*session, target)) {
            return decodeText(*bytes, form.encoding);
        }
    }
    return std::nullopt;
}

void QtClipboard::setReadsInterrupted(bool interrupted)
{
    if (interrupted) {
        eventfd_write(m_interruption, 1);
    } else {
        eventfd_t value = 0;
        eventfd_read(m_interruption, &value);
    }
}

void QtClipboard::write(OwnContent content)
{
    const std::scoped_lock lock(m_ownContentMutex);
    m_ownContent = std::move(content);
    m_ownsClipboard = true;
}

void QtClipboard::clear()
{
    write({});
    m_changeCount.fetch_add(1);
    // An empty offer, not QClipboard::clear(): that would give the selection up instead of taking it.
    clipboard().setMimeData(new QMimeData, QClipboard::Clipboard);
}

void QtClipboard::setText(const QString& text)
{
    write({text, nullptr});
    clipboard().setText(text, QClipboard::Clipboard);
}

void QtClipboard::setImage(std::shared_ptr<const Image> image)
{
    if (image) {
        write({std::nullopt, image});
        clipboard().setMimeData(new ImageMimeData(std::move(image)), QClipboard::Clipboard);
    }
}

} // namespace platform
