#include "platform/image.h"

#include <QBuffer>
#include <QHashFunctions>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace platform {

namespace {

std::optional<QByteArray> encodeTiff(const QImage& image)
{
    if (image.isNull()) {
        return std::nullopt;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(image)) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

Image::Image(Private, QByteArray bytes, QByteArray format, QSize size)
    : m_bytes(std::move(bytes)), m_format(std::move(format)), m_size(size)
{
}

Image::Image(Private, const QImage& image)
    : m_image(std::make_unique<const QImage>(image)), m_format("png"), m_size(image.size())
{
}

Image::~Image() = default;

std::shared_ptr<const Image> Image::fromEncoded(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // Reads the header only: the pixels are decoded when someone asks for them.
    QImageReader reader(&buffer);
    const auto size = reader.size();
    const auto format = reader.format();
    buffer.close();
    if (format.isEmpty() || !size.isValid() || size.isEmpty()) {
        return nullptr;
    }
    return std::make_shared<const Image>(Private(), std::move(bytes), format, size);
}

std::shared_ptr<const Image> Image::fromQImage(const QImage& image)
{
    if (image.isNull()) {
        return nullptr;
    }
    return std::make_shared<const Image>(Private(), image);
}

QImage Image::toQImage() const
{
    if (m_image) {
        return *m_image;
    }
    QBuffer buffer;
    buffer.setData(m_bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, m_format);
    return reader.read();
}

std::optional<QByteArray> Image::tiffRepresentation() const
{
    return encodeTiff(toQImage());
}

const Image::TiffDigest& Image::tiffDigest() const
{
    std::call_once(m_tiffDigestOnce, [this] {
        const auto tiff = tiffRepresentation();
        if (tiff) {
            m_tiffDigest = {true, tiff->size(), qHashBits(tiff->constData(), static_cast<size_t>(tiff->size()), 0)};
        }
    });
    return m_tiffDigest;
}

bool Image::hasSameTiffRepresentation(const Image& other) const
{
    if (this == &other) {
        return true;
    }
    const auto& digest = tiffDigest();
    if (digest != other.tiffDigest()) {
        return false;
    }
    if (!digest.encodable) {
        return true;
    }
    // Equal digests of different encodings are possible, if unlikely: compare the real thing.
    return tiffRepresentation() == other.tiffRepresentation();
}

QByteArray Image::encodedBytes() const
{
    if (!m_image) {
        return m_bytes;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, m_format);
    if (!writer.write(*m_image)) {
        return {};
    }
    return bytes;
}

QByteArray Image::encodedFormat() const
{
    return m_format;
}

} // namespace platform
