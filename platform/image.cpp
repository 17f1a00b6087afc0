#include "platform/image.h"

#include "platform/huge_pages.h"
#include "platform/png_decoder.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QRect>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/mman.h>

#include <xxhash.h>

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

/// Room for a decoded picture: in huge pages when large, none beyond the size limit.
QImage allocateImage(QSize size, QImage::Format format)
{
    auto image = hugePageImage(size, format);
    if (image.isNull() && bytesPerLine(size, format) * std::size_t(size.height()) < hugePageThreshold) {
        image = QImage(size, format);
    }
    return image;
}

QImage decode(const QByteArray& bytes, const QByteArray& format)
{
    [[maybe_unused]] static const bool limitRaised = [] {
        QImageReader::setAllocationLimit(std::max(QImageReader::allocationLimit(), decodedSizeLimitMegabytes));
        return true;
    }();
    if (format == "png") {
        if (auto image = decodeCommonPng(bytes, allocateImage); !image.isNull()) {
            return image;
        }
    }
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

// glibc raises its mmap threshold after freeing a large block, so the next decoded picture and encoding,
// tens of MB each, come from the heap and stay resident after they are freed, growing the process by
// some 90 MB for a history of 4K screenshots that holds 7 MB of them.
void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// What Qt's TIFF writer records of a picture besides the colour table and the pixels: pictures that differ
// here encode differently.
std::array<qint64, 5> layoutOf(const QImage& image)
{
    return {image.format(), image.width(), image.height(), image.dotsPerMeterX(), image.dotsPerMeterY()};
}

// The bytes of a row that show pixels; the padding after them is undefined.
std::size_t visibleBytesPerLine(const QImage& image)
{
    return (static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.depth()) + 7) / 8;
}

bool haveSamePixels(const QImage& left, const QImage& right)
{
    if (layoutOf(left) != layoutOf(right) || left.colorTable() != right.colorTable()) {
        return false;
    }
    const auto rowBytes = visibleBytesPerLine(left);
    for (int y = 0; y < left.height(); ++y) {
        if (std::memcmp(left.constScanLine(y), right.constScanLine(y), rowBytes) != 0) {
            return false;
        }
    }
    return true;
}

/// A digest of everything haveSamePixels() compares.
std::uint64_t pixelDigest(const QImage& image)
{
    const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    XXH3_64bits_reset(state.get());
    const auto layout = layoutOf(image);
    XXH3_64bits_update(state.get(), layout.data(), sizeof(layout));
    const auto colours = image.colorTable();
    XXH3_64bits_update(state.get(), colours.constData(), static_cast<std::size_t>(colours.size()) * sizeof(QRgb));
    const auto rowBytes = visibleBytesPerLine(image);
    for (int y = 0; y < image.height(); ++y) {
        XXH3_64bits_update(state.get(), image.constScanLine(y), rowBytes);
    }
    return XXH3_64bits_digest(state.get());
}

// The centre square, scaled down to `side` pixels if larger: what a thumbnail filling a square shows.
QImage centreSquare(const QImage& image, int side)
{
    const auto square = std::min(image.width(), image.height());
    const QRect centre((image.width() - square) / 2, (image.height() - square) / 2, square, square);
    if (square <= side) {
        return image.copy(centre);
    }
    if (image.depth() != 32) {
        return image.copy(centre).scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    // Scaled in place rather than from a copy, 18 MB for a 4K screenshot; 32-bit pixels keep the rows aligned.
    const QImage view(image.constScanLine(centre.top()) + centre.left() * 4, square, square, image.bytesPerLine(),
                      image.format());
    return view.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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

const Image::Analysis& Image::analysis() const
{
    std::call_once(m_analysisOnce, [this] {
        {
            const auto image = toQImage();
            if (!image.isNull()) {
                m_analysis = {pixelDigest(image), centreSquare(image, thumbnailSourceSide)};
            }
        }
        releaseFreedMemory();
    });
    return m_analysis;
}

bool Image::hasSameTiffRepresentation(const Image& other) const
{
    if (this == &other) {
        return true;
    }
    // Decoding is deterministic: the same bytes in the same format give the same picture, or the same failure.
    if (m_format == other.m_format && m_bytes == other.m_bytes) {
        return true;
    }
    // TIFF records the dimensions.
    if (size() != other.size()) {
        return false;
    }
    const auto& mine = analysis().digest;
    const auto& theirs = other.analysis().digest;
    // Two huge or corrupt pictures fail alike, whatever they show: only the very same bytes match.
    if (!mine || !theirs || *mine != *theirs) {
        return false;
    }
    // Equal digests of different pictures are possible, if unlikely: compare the real thing.
    const auto same = haveSamePixels(toQImage(), other.toQImage());
    releaseFreedMemory();
    return same;
}

} // namespace platform
