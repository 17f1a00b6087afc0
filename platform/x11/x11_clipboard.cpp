#include "platform/x11/x11_backend.h"

#include "platform/clipboard_formats.h"
#include "platform/x11/connection.h"
#include "platform/x11/selection_reader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMetaObject>
#include <QMimeData>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using x11::SelectionReader;

// How long another application may send nothing before a read gives up on it. A read given up so is tried
// once more, at the watcher's next tick, if nothing was copied meanwhile and the same window still owns the
// clipboard: the change count moves once more for it.
constexpr std::chrono::milliseconds silenceLimit{1500};
// How long one capture may wait for another application however steadily it sends.
constexpr std::chrono::seconds readLimit{30};
// How long a content's read session lasts: a capture reads the image, then the text, within it.
constexpr auto sessionLifetime = std::chrono::seconds(5);
QClipboard& clipboard()
{
    return *QGuiApplication::clipboard();
}

/// One picture on the clipboard, offered as PNG and in the form it arrived in, encoded only when another
/// application asks.
class ImageMimeData final : public QMimeData
{
public:
    explicit ImageMimeData(std::shared_ptr<const Image> image)
        : m_image(std::move(image)), m_originalMimeType(mimeTypeForFormat(m_image->encodedFormat()))
    {}

    [[nodiscard]] QStringList formats() const override
    {
        const auto png = QString::fromLatin1(pngMimeType);
        return m_originalMimeType.isEmpty() || m_originalMimeType == png ? QStringList{png}
                                                                         : QStringList{png, m_originalMimeType};
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

/// The clipboard on the X11 CLIPBOARD selection. What Velmora itself put there is answered from what it
/// wrote; another application's content is read through a reader of our own with a bound on every wait,
/// since an owner that never answers would hold Qt's reader for 5 s per request. Reads run on whichever
/// thread asks, one at a time, so that a slow or huge copy never holds the GUI thread; the writes and the
/// change reports are on the GUI thread.
class X11Clipboard final : public Clipboard
{
public:
    X11Clipboard()
        : m_ownsClipboard(clipboard().ownsClipboard()), m_root(x11::applicationRoot()),
          m_interruption(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        // Qt may report a change of an earlier owner right after our own write, so only changes while another
        // application owns the clipboard count; our own writes count in clear().
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

    ~X11Clipboard() override { close(m_interruption); }

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    /// Qt reports the change as the X server does (XFixes), a moment after the copy.
    void setChangeHandler(std::function<void()> handler) override { m_changeHandler = std::move(handler); }

    [[nodiscard]] std::optional<Images> images() override
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
        return std::vector{Image::fromEncoded(std::move(*bytes))};
    }

    [[nodiscard]] std::optional<QString> text() override
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

    void setReadsInterrupted(bool interrupted) override
    {
        if (interrupted) {
            eventfd_write(m_interruption, 1);
        } else {
            eventfd_t value = 0;
            eventfd_read(m_interruption, &value);
        }
    }

    void clear() override
    {
        write({});
        m_changeCount.fetch_add(1);
        // An empty offer, not QClipboard::clear(): that would give the selection up instead of taking it.
        clipboard().setMimeData(new QMimeData, QClipboard::Clipboard);
    }

    /// Each write replaces what an earlier one put: the engine writes one value after a clear.
    void setText(const QString& text) override
    {
        write({text, nullptr});
        clipboard().setText(text, QClipboard::Clipboard);
    }

    void setImage(std::shared_ptr<const Image> image) override
    {
        if (image) {
            write({std::nullopt, image});
            clipboard().setMimeData(new ImageMimeData(std::move(image)), QClipboard::Clipboard);
        }
    }

private:
    // The reads of one content share one deadline and one list of targets: the image, then the text.
    struct ReadSession
    {
        std::int64_t changeCount = 0;
        Clock::time_point started;
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
    [[nodiscard]] ReadSession* readSession()
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
            m_session->secret =
                std::ranges::find(m_session->targets, QByteArray(passwordManagerHint)) != m_session->targets.end();
        } else if (targets.outcome != SelectionReader::Outcome::Refused) {
            giveUp(*m_session, targets.outcome, targets.owner);
        }
        return usable();
    }

    /// The content as `target`; nothing when the owner refused it or the session gave up on the owner.
    [[nodiscard]] std::optional<QByteArray> read(ReadSession& session, const QByteArray& target)
    {
        auto transfer = m_reader->read(target, patience(session));
        if (transfer.outcome == SelectionReader::Outcome::Failed ||
            transfer.outcome == SelectionReader::Outcome::Silent) {
            giveUp(session, transfer.outcome, transfer.owner);
        }
        return transfer.outcome == SelectionReader::Outcome::Received ? std::optional(std::move(transfer.value))
                                                                      : std::nullopt;
    }

    [[nodiscard]] SelectionReader::Patience patience(const ReadSession& session) const
    {
        return {silenceLimit, session.started + readLimit, m_interruption};
    }

    void giveUp(ReadSession& session, SelectionReader::Outcome outcome, std::uint32_t owner)
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

    void write(OwnContent content)
    {
        const std::scoped_lock lock(m_ownContentMutex);
        m_ownContent = std::move(content);
        m_ownsClipboard = true;
    }

    std::atomic<std::int64_t> m_changeCount = 0;
    // Kept by the GUI thread, from Qt's reports and our own writes, for the reading thread.
    std::atomic<bool> m_ownsClipboard = false;
    mutable std::mutex m_ownContentMutex;
    OwnContent m_ownContent;

    // The screen's root window, 0 off X11; read on the GUI thread, where Qt's connection lives.
    std::uint32_t m_root;
    // Used by the reading thread only.
    std::unique_ptr<SelectionReader> m_reader;
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

} // namespace

std::unique_ptr<Clipboard> x11::createClipboard()
{
    return std::make_unique<X11Clipboard>();
}

} // namespace platform
