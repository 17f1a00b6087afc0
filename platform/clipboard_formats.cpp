#include "platform/clipboard_formats.h"

#include "platform/huge_pages.h"

#include <QImageReader>
#include <QStringDecoder>

#include <algorithm>

namespace platform {

QString decodeText(QByteArrayView bytes, QStringConverter::Encoding encoding)
{
    // No encoding here gives more characters than bytes.
    QString text(bytes.size(), Qt::Uninitialized);
    adviseHugePages(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    // Stateless: a sequence cut off at the end is decoded as invalid rather than kept for more bytes.
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    const auto end = decoder.appendToBuffer(text.data(), bytes);
    text.truncate(end - text.constData());
    return text;
}

QString mimeTypeForFormat(const QByteArray& format)
{
    for (const auto& mimeType : QImageReader::supportedMimeTypes()) {
        if (QImageReader::imageFormatsForMimeType(mimeType).contains(format)) {
            return QString::fromLatin1(mimeType);
        }
    }
    return {};
}

std::optional<QByteArray> chooseImageTarget(const std::vector<QByteArray>& targets)
{
    if (std::find(targets.begin(), targets.end(), pngMimeType) != targets.end()) {
        return QByteArray(pngMimeType);
    }
    const auto readable = QImageReader::supportedMimeTypes();
    const auto found = std::find_if(targets.begin(), targets.end(), [&](const QByteArray& target) {
        return target.startsWith("image/") && readable.contains(target);
    });
    return found == targets.end() ? std::nullopt : std::optional(*found);
}

} // namespace platform
