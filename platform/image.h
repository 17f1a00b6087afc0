#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <memory>
#include <optional>

namespace platform {

/// `image` written in `format` ("png", "tiff", ...); nothing for a null image or a failed write.
[[nodiscard]] std::optional<QByteArray> encodeImage(const QImage& image, const char* format);

/// An immutable picture, shared by reference. It keeps the bytes it arrived in and decodes on demand, so a
/// history of large pictures costs their compressed size. Safe to use from several threads.
class Image
{
public:
    /// The picture encoded in `bytes` (any format Qt reads); null when the bytes hold no readable picture.
    [[nodiscard]] static std::shared_ptr<const Image> fromEncoded(QByteArray bytes);

    /// Width and height in pixels.
    [[nodiscard]] QSize size() const { return m_size; }
    /// The decoded picture; a null QImage when the bytes turn out to be corrupt or too large to decode.
    [[nodiscard]] QImage toQImage() const;
    /// The picture encoded as TIFF, or nothing when it cannot be encoded.
    [[nodiscard]] std::optional<QByteArray> tiffRepresentation() const { return encodeImage(toQImage(), "tiff"); }

    /// The bytes the picture arrived in and their format ("png", "jpeg", ...).
    [[nodiscard]] QByteArray encodedBytes() const { return m_bytes; }
    [[nodiscard]] QByteArray encodedFormat() const { return m_format; }

private:
    Image(QByteArray bytes, QByteArray format, QSize size);

    QByteArray m_bytes;
    QByteArray m_format;
    QSize m_size;
};

} // namespace platform
