#pragma once

#include <QByteArray>
#include <QSize>

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>

class QImage;

namespace platform {

/// An immutable picture, shared by reference. It keeps the bytes it arrived in and decodes on demand,
/// so a history of large pictures costs their compressed size. Safe to use from several threads.
class Image
{
    struct Private
    {
        explicit Private() = default;
    };

public:
    /// The picture encoded in `bytes` (any format Qt reads); null when the bytes hold no readable picture.
    [[nodiscard]] static std::shared_ptr<const Image> fromEncoded(QByteArray bytes);
    /// A picture already in memory; null for a null image.
    [[nodiscard]] static std::shared_ptr<const Image> fromQImage(const QImage& image);

    /// Width and height in pixels.
    [[nodiscard]] QSize size() const { return m_size; }
    /// The decoded picture; a null QImage when the bytes turn out to be corrupt or too large to decode.
    [[nodiscard]] QImage toQImage() const;
    /// The picture encoded as TIFF, or nothing when it cannot be encoded.
    [[nodiscard]] std::optional<QByteArray> tiffRepresentation() const;
    /// Whether the two TIFF representations are equal. Pictures that cannot be encoded (corrupt, or too
    /// large to decode) have none to compare: they match only the very same picture, in the same bytes.
    /// Encodes each picture once in its lifetime, for a digest; only a match of digests is confirmed byte
    /// for byte. Pictures that arrived in the same bytes, or are of different sizes, need no encoding.
    [[nodiscard]] bool hasSameTiffRepresentation(const Image& other) const;

    /// The bytes the picture arrived in and their format ("png", "jpeg", ...); for a picture made from a
    /// QImage, a PNG encoding of it.
    [[nodiscard]] QByteArray encodedBytes() const;
    [[nodiscard]] QByteArray encodedFormat() const;

    Image(Private, QByteArray bytes, QByteArray format, QSize size);
    Image(Private, const QImage& image);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

private:
    struct TiffDigest
    {
        bool encodable = false;
        qsizetype size = 0;
        std::size_t hash = 0;

        friend bool operator==(const TiffDigest&, const TiffDigest&) = default;
    };

    // A TIFF encoding made during one comparison.
    struct Encoding
    {
        std::optional<QByteArray> tiff;
        bool made = false;
    };

    /// Computed on the first call, which also hands the encoding it made to `encoding` if given.
    [[nodiscard]] const TiffDigest& tiffDigest(Encoding* encoding = nullptr) const;
    [[nodiscard]] bool compareTiffRepresentations(const Image& other, Encoding& mine, Encoding& theirs) const;

    // Exactly one of the two holds the picture.
    QByteArray m_bytes;
    std::unique_ptr<const QImage> m_image;
    QByteArray m_format;
    QSize m_size;

    mutable std::once_flag m_tiffDigestOnce;
    mutable TiffDigest m_tiffDigest;
};

/// `image` written in `format` ("png", "tiff", ...); nothing for a null image or a failed write.
[[nodiscard]] std::optional<QByteArray> encodeImage(const QImage& image, const char* format);

} // namespace platform
