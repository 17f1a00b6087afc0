#include "platform/image.h"

#include <QBuffer>
#include <QHashFunctions>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace platform {

namespace {

// Qt turns away pictures of more than 128 MB decoded, which an 8000 x 8000 screenshot is. Ours go up to
// 8192 x 8192 at 32 bits per pixel; beyond that a picture counts as undecodable, against decompression bombs.
constexpr int decodedSizeLimitMegabytes = 256;

QImage decode(const QByteArray& bytes, const QByteArray& format)
{
    static const bool limitRaised = [] {
        QImageReader::setAllocationLimit(std::max(QImageReader::allocationLimit(), decodedSizeLimitMegabytes));
        return true;
    }();
    Q_UNUSED(limitRaised);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    // The pixels as stored, so that the decoded size is the one the header gives.
    reader.setAutoTransform(false);
    return reader.read();
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


} // namespace

std::optional<QByteArray> encodeImage(const QImage& image, const char* format)
{
    if (image.isNull()) {
        return std::nullopt;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, format).write(image)) {
        return std::nullopt;
    }
    return bytes;
}

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
    // The header is enough: the pixels are decoded when someone asks for them.
    QImageReader reader(&buffer);
    auto size = reader.size();
    const auto format = reader.format();
    buffer.close();
    if (format.isEmpty()) {
        return nullptr;
    }
    if (!size.isValid()) {
        // A format that tells its size only by decoding.
        size = decode(bytes, format).size();
    }
    if (size.isEmpty()) {
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
    return decode(m_bytes, m_format);
}

std::optional<QByteArray> Image::tiffRepresentation() const
{
    return encodeImage(toQImage(), "tiff");
}

const Image::TiffDigest& Image::tiffDigest(Encoding* encoding) const
{
    std::call_once(m_tiffDigestOnce, [&] {
        auto tiff = tiffRepresentation();
        if (tiff) {
            m_tiffDigest = {true, tiff->size(), qHashBits(tiff->constData(), static_cast<size_t>(tiff->size()), 0)};
        }
        if (encoding) {
            encoding->made = true;
            encoding->tiff = std::move(tiff);
        }
    });
    return m_tiffDigest;
}

bool Image::hasSameTiffRepresentation(const Image& other) const
{
    Encoding mine;
    Encoding theirs;
    const auto same = compareTiffRepresentations(other, mine, theirs);
    const auto made = mine.made || theirs.made;
    mine = {};
    theirs = {};
    if (made) {
        releaseFreedMemory();
    }
    return same;
}

bool Image::compareTiffRepresentations(const Image& other, Encoding& mine, Encoding& theirs) const
{
    if (this == &other) {
        return true;
    }
    // Decoding is deterministic: the same bytes in the same format give the same picture, and the same TIFF
    // or the same failure to make one.
    if (!m_image && !other.m_image && m_format == other.m_format && m_bytes == other.m_bytes) {
        return true;
    }
    // TIFF records the dimensions.
    if (size() != other.size()) {
        return false;
    }
    // An encoding made here for a digest is kept for the confirmation, not made twice.
    const auto& digest = tiffDigest(&mine);
    if (digest != other.tiffDigest(&theirs)) {
        return false;
    }
    if (!digest.encodable) {
        // Two huge or corrupt pictures fail alike, whatever they show: only the very same one matches.
        return m_image && other.m_image && *m_image == *other.m_image;
    }
    // Equal digests of different encodings are possible, if unlikely: compare the real thing.
    if (!mine.made) {
        mine = {tiffRepresentation(), true};
    }
    if (!theirs.made) {
        theirs = {other.tiffRepresentation(), true};
    }
    return mine.tiff == theirs.tiff;
}

QByteArray Image::encodedBytes() const
{
    if (!m_image) {
        return m_bytes;
    }
    return encodeImage(*m_image, m_format.constData()).value_or(QByteArray());
}

QByteArray Image::encodedFormat() const
{
    return m_format;
}

} // namespace platform
