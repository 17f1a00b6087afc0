#include "platform/image.h"

#include "platform/huge_pages.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <utility>

#include <sys/mman.h>

namespace platform {

namespace {

// Qt turns away pictures of more than 128 MB decoded, which an 8000 x 8000 screenshot is. Ours go up to
// 8192 x 8192 at 32 bits per pixel; beyond that a picture counts as undecodable, against decompression bombs.
constexpr int decodedSizeLimitMegabytes = 256;

// Where a picture's own memory starts, and its length.
using Mapping = std::pair<void*, std::size_t>;

std::size_t bytesPerLine(QSize size, QImage::Format format)
{
    return (std::size_t(size.width()) * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32 * 4;
}

/// Room for a picture in memory of its own, advised for huge pages: in 4 KB pages an 8000 x 8000 picture
/// takes 65,536 page faults. Its own mapping, so that no freed picture stays in the heap. A null image for
/// a small or an undecodable size, or when the memory cannot be had.
QImage hugePageImage(QSize size, QImage::Format format)
{
    const auto bytes = bytesPerLine(size, format) * std::size_t(size.height());
    const bool fits =
        !size.isEmpty() && bytes >= hugePageThreshold && bytes <= std::size_t{decodedSizeLimitMegabytes} << 20;
    void* address = fits ? mapHugePages(bytes) : nullptr;
    if (!address) {
        return {};
    }
    const auto unmap = [](void* mapping) {
        const std::unique_ptr<Mapping> owned(static_cast<Mapping*>(mapping));
        munmap(owned->first, owned->second);
    };
    return {
        static_cast<uchar*>(address), size.width(), size.height(), qsizetype(bytesPerLine(size, format)), format, unmap,
        new Mapping{address, bytes}};
}

QImage decode(const QByteArray& bytes, const QByteArray& format)
{
    [[maybe_unused]] static const bool limitRaised = [] {
        QImageReader::setAllocationLimit(std::max(QImageReader::allocationLimit(), decodedSizeLimitMegabytes));
        return true;
    }();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    // The pixels as stored, so that the decoded size is the one the header gives.
    reader.setAutoTransform(false);
    // A reader that decodes to this size and format fills the room given; any other allocates its own.
    auto image = hugePageImage(reader.size(), reader.imageFormat());
    return reader.read(&image) ? image : QImage();
}

} // namespace

std::optional<QByteArray> encodeImage(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !QImageWriter(&buffer, format).write(image)) {
        return std::nullopt;
    }
    return bytes;
}

Image::Image(QByteArray bytes, QByteArray format, QSize size)
    : m_bytes(std::move(bytes)), m_format(std::move(format)), m_size(size)
{}

std::shared_ptr<const Image> Image::fromEncoded(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The header is enough: the pixels are decoded when someone asks for them.
    QImageReader reader(&buffer);
    auto size = reader.size();
    const auto format = reader.format();
    buffer.close();
    if (!size.isValid() && !format.isEmpty()) {
        // A format that tells its size only by decoding.
        size = decode(bytes, format).size();
    }
    if (format.isEmpty() || size.isEmpty()) {
        return nullptr;
    }
    return std::shared_ptr<const Image>(new Image(std::move(bytes), format, size));
}

QImage Image::toQImage() const
{
    return decode(m_bytes, m_format);
}

} // namespace platform
