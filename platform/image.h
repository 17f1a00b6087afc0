#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

/// `image` written in `format` ("png", "tiff", ...); nothing for a null image or a failed write.
[[nodiscard]] std::optional<QByteArray> encodeImage(const QImage& image, const char* format);

/// An immutable picture, shared by reference. It keeps the bytes it arrived in and decodes on demand,
/// so a history of large pictures costs their compressed size. Safe to use from several threads.
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
    /// Whether the two TIFF representations would be equal: the same format, size, resolution, colour table
    /// and pixels. Pictures that cannot be decoded (corrupt, or too large) match only the very same picture,
    /// in the same bytes. Compares digests of the decoded pixels, made once per picture; only a match of
    /// digests is confirmed pixel by pixel.
    [[nodiscard]] bool hasSameTiffRepresentation(const Image& other) const;
    /// The centre square of the picture, at most `thumbnailSourceSide` pixels wide, for thumbnails; a null
    /// QImage when the picture cannot be decoded. Made with the digest from one decode.
    [[nodiscard]] QImage thumbnailSource() const { return analysis().thumbnailSource; }
    static constexpr int thumbnailSourceSide = 160;

    /// The bytes the picture arrived in and their format ("png", "jpeg", ...).
    [[nodiscard]] QByteArray encodedBytes() const { return m_bytes; }
    [[nodiscard]] QByteArray encodedFormat() const { return m_format; }

private:
    Image(QByteArray bytes, QByteArray format, QSize size);

    // What the comparison and the thumbnails need of the decoded pixels, which are not kept.
    struct Analysis
    {
        std::optional<std::uint64_t> digest;
        QImage thumbnailSource;
    };

    [[nodiscard]] const Analysis& analysis() const;

    QByteArray m_bytes;
    QByteArray m_format;
    QSize m_size;

    mutable std::once_flag m_analysisOnce;
    mutable Analysis m_analysis;
};

} // namespace platform
