#include "platform/x11/x11_backend.h"

#include "platform/clipboard_formats.h"
#include "platform/selection_clipboard.h"
#include "platform/x11/connection.h"
#include "platform/x11/selection_reader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <atomic>

namespace platform {

namespace {

using x11::SelectionReader;

QClipboard& clipboard()
{
    return *QGuiApplication::clipboard();
}

/// What Velmora copies, offered in the forms of its content, each made only when another application asks:
/// a text in Qt's text forms (Qt converts to UTF-8 or Latin-1 per request), a picture as PNG and in the form
/// it arrived in.
class OwnMimeData final : public QMimeData
{
public:
    explicit OwnMimeData(OwnContent content)
        : m_content(std::move(content)),
          m_originalMimeType(m_content.image ? mimeTypeForFormat(m_content.image->encodedFormat()) : QString())
    {}

    [[nodiscard]] QStringList formats() const override
    {
        if (m_content.text) {
            return {QStringLiteral("text/plain")};
        }
        if (!m_content.image) {
            return {};
        }
        const auto png = QString::fromLatin1(pngMimeType);
        return m_originalMimeType.isEmpty() || m_originalMimeType == png ? QStringList{png}
                                                                         : QStringList{png, m_originalMimeType};
    }

protected:
    [[nodiscard]] QVariant retrieveData(const QString& mimeType, QMetaType /*type*/) const override
    {
        if (m_content.text) {
            return mimeType == QLatin1String("text/plain") ? QVariant(*m_content.text) : QVariant();
        }
        if (!m_content.image) {
            return {};
        }
        if (mimeType == m_originalMimeType) {
            return m_content.image->encodedBytes();
        }
        return mimeType == QLatin1String(pngMimeType)
                   ? encodeImage(m_content.image->toQImage(), "png").value_or(QByteArray())
                   : QVariant();
    }

private:
    OwnContent m_content;
    QString m_originalMimeType;
};

/// The X11 CLIPBOARD selection. Another application's copy is read through a reader of our own with a bound
/// on every wait, since an owner that never answers would hold Qt's reader for 5 s per request; our own is
/// served by Qt. Qt reports the changes on the GUI thread, as the X server does (XFixes), a moment after the
/// copy.
class X11Selection final : public SelectionSource
{
public:
    explicit X11Selection(ChangeReport changed)
        : m_root(x11::applicationRoot()), m_ownsClipboard(clipboard().ownsClipboard())
    {
        // Qt may report a change of an earlier owner right after our own write, so only changes while another
        // application owns the clipboard count.
        QObject::connect(&clipboard(), &QClipboard::changed, &m_context,
                         [this, changed = std::move(changed)](QClipboard::Mode mode) {
                             if (mode != QClipboard::Clipboard) {
                                 return;
                             }
                             m_ownsClipboard = clipboard().ownsClipboard();
                             if (!m_ownsClipboard) {
                                 changed();
                             }
                         });
    }

    [[nodiscard]] ReadResult<std::vector<QByteArray>> forms(const ReadLimits& limits) override
    {
        if (!m_reader || !m_reader->isConnected()) {
            m_reader = SelectionReader::create(m_root);
        }
        return m_reader ? m_reader->targets(limits) : ReadResult<std::vector<QByteArray>>{};
    }

    [[nodiscard]] ReadResult<QByteArray> read(const QByteArray& form, const ReadLimits& limits) override
    {
        return m_reader ? m_reader->read(form, limits) : ReadResult<QByteArray>{};
    }

    [[nodiscard]] bool ownsSelection() const override { return m_ownsClipboard; }

    void publish(const OwnContent& content) override
    {
        m_ownsClipboard = true;
        // Even when empty, not QClipboard::clear(): that would give the selection up instead of taking it.
        clipboard().setMimeData(new OwnMimeData(content), QClipboard::Clipboard);
    }

private:
    // The screen's root window, 0 off X11; read on the GUI thread, where Qt's connection lives.
    std::uint32_t m_root;
    // Kept by the GUI thread, from Qt's reports and our own writes, for the reading thread.
    std::atomic<bool> m_ownsClipboard;
    // Used by the reading thread only.
    std::unique_ptr<SelectionReader> m_reader;
    // Receives Qt's change reports; going with the selection, it takes them along.
    QObject m_context;
};

} // namespace

std::unique_ptr<Clipboard> x11::createClipboard()
{
    return SelectionClipboard::create(
        [](SelectionSource::ChangeReport changed) { return std::make_unique<X11Selection>(std::move(changed)); });
}

} // namespace platform
