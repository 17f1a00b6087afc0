#pragma once

#include <QByteArray>
#include <QSize>

#include <memory>
#include <optional>

class QImage;

namespace platform {

/// An immutable picture, shared by reference. It keeps the bytes it arrived in and decodes on demand.
class Image
{
public:
    /// The picture encoded in `bytes` (any format Qt reads); null when the bytes hold no readable picture.
    [[nodiscard]] static std::shared_ptr<const Image> fromEncoded(QByteArray bytes);
    /// A picture already in memory; null for a null image.
    [[nodiscard]] static std::shared_ptr<const Image> fromQImage(const QImage& image);

    /// Width and height in pixels.
    [[nodiscard]] QSize size() const;
    /// The decoded picture; a null QImage when the bytes turn out to be corrupt.
    [[nodiscard]] QImage toQImage() const;
    /// The picture encoded as TIFF, or nothing when it cannot be encoded.
    [[nodiscard]] std::optional<QByteArray> tiffRepresentation() const;
};

} // namespace platform
