#include "platform/png_decoder.h"

#include "platform/huge_pages.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <sys/mman.h>

#include <libdeflate.h>

namespace platform {

namespace {

constexpr QByteArrayView signature("\x89PNG\r\n\x1a\n", 8);

// libpng refuses wider or taller pictures: they stay Qt's to refuse.
constexpr quint32 maxSide = 1000000;
constexpr quint32 maxChunkLength = 0x7fffffff;

constexpr quint32 chunkName(const char (&name)[5])
{
    return quint32(uchar(name[0])) << 24 | quint32(uchar(name[1])) << 16 | quint32(uchar(name[2])) << 8 |
           quint32(uchar(name[3]));
}

quint32 read32(QByteArrayView bytes, qsizetype at)
{
    return qFromBigEndian<quint32>(bytes.data() + at);
}

/// What the chunks of a PNG this decoder takes say.
struct Layout
{
    quint32 width = 0;
    quint32 height = 0;
    int channels = 0;
    // Pixels per metre; 0 for a resolution not given in metres, which Qt leaves at its default.
    int dotsPerMeterX = 0;
    int dotsPerMeterY = 0;
    QByteArray zlibStream;
};

bool readHeader(QByteArrayView data, Layout& layout)
{
    if (data.size() != 13) {
        return false;
    }
    layout.width = read32(data, 0);
    layout.height = read32(data, 4);
    const auto bitDepth = uchar(data[8]);
    const auto colourType = uchar(data[9]);
    layout.channels = colourType == 2 ? 3 : colourType == 6 ? 4 : 0;
    // Then compression, filter and interlace methods: only the plain ones, 0, are ours.
    return layout.width > 0 && layout.height > 0 && layout.width <= maxSide && layout.height <= maxSide &&
           bitDepth == 8 && layout.channels > 0 && data[10] == 0 && data[11] == 0 && data[12] == 0;
}

bool readResolution(QByteArrayView data, Layout& layout)
{
    if (data.size() != 9 || uchar(data[8]) > 1) {
        return false;
    }
    const auto x = read32(data, 0);
    const auto y = read32(data, 4);
    if (x > INT_MAX || y > INT_MAX) {
        return false;
    }
    if (data[8] == 1) {
        layout.dotsPerMeterX = int(x);
        layout.dotsPerMeterY = int(y);
    }
    return true;
}

/// The layout of a PNG this decoder takes, with every chunk whole and its CRC right; nothing for any other.
/// Besides the pixels, only chunks that Qt's reader leaves out of the picture may appear: a chunk that may
/// change it (colour profile, gamma, transparency, text, offset) or that libpng would complain of is Qt's.
std::optional<Layout> readLayout(QByteArrayView bytes)
{
    if (!bytes.startsWith(signature)) {
        return std::nullopt;
    }
    enum class Stage
    {
        Header,
        BeforePixels,
        Pixels,
        AfterPixels
    };
    auto stage = Stage::Header;
    bool hasResolution = false;
    Layout layout;
    for (qsizetype at = signature.size();;) {
        // Length, name, data, then the CRC of name and data.
        if (bytes.size() - at < 12) {
            return std::nullopt;
        }
        const auto length = read32(bytes, at);
        if (length > maxChunkLength || length > quint64(bytes.size() - at - 12) ||
            libdeflate_crc32(0, bytes.data() + at + 4, length + 4) != read32(bytes, at + 8 + length)) {
            return std::nullopt;
        }
        const auto name = read32(bytes, at + 4);
        const auto data = bytes.sliced(at + 8, length);
        at += 12 + qsizetype(length);

        if (stage == Stage::Header) {
            if (name != chunkName("IHDR") || !readHeader(data, layout)) {
                return std::nullopt;
            }
            stage = Stage::BeforePixels;
        } else if (name == chunkName("IDAT")) {
            if (stage == Stage::AfterPixels) {
                return std::nullopt;
            }
            stage = Stage::Pixels;
            layout.zlibStream.append(data);
        } else {
            if (stage == Stage::Pixels) {
                stage = Stage::AfterPixels;
            }
            if (name == chunkName("IEND")) {
                return stage == Stage::AfterPixels && length == 0 ? std::optional(std::move(layout)) : std::nullopt;
            }
            const bool firstResolution = name == chunkName("pHYs") && stage == Stage::BeforePixels && !hasResolution;
            if (firstResolution && readResolution(data, layout)) {
                hasResolution = true;
            } else if (name != chunkName("tIME")) {
                return std::nullopt;
            }
        }
    }
}

struct Unmap
{
    std::size_t bytes;
    void operator()(uchar* data) const { munmap(data, bytes); }
};
using Rows = std::unique_ptr<uchar[], Unmap>;

/// Whether `stream` inflates to exactly `bytes` bytes, no more and no less, and uses all of its data doing so.
bool inflate(QByteArrayView stream, uchar* out, std::size_t bytes)
{
    const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> decompressor(
        libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
    std::size_t consumed = 0;
    return decompressor &&
           libdeflate_zlib_decompress_ex(decompressor.get(), stream.data(), std::size_t(stream.size()), out, bytes,
                                         &consumed, nullptr) == LIBDEFLATE_SUCCESS &&
           consumed == std::size_t(stream.size());
}

// The byte among left, up and up-left nearest to left + up - up-left, ties in that order. Rewritten from the
// three distances so that the next pixel, which waits for this one, waits for a min, a max and two selects.
uchar paeth(int left, int up, int upLeft)
{
    const int threshold = 3 * upLeft - (left + up);
    const int low = std::min(left, up);
    const int high = std::max(left, up);
    return uchar(threshold <= low ? high : high <= threshold ? low : upLeft);
}

/// Undoes the filter of one row of `length` bytes, given the row above as it was before filtering.
template <std::size_t pixelBytes>
bool unfilterRow(uchar filter, uchar* __restrict row, const uchar* __restrict above, std::size_t length)
{
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = pixelBytes; i < length; ++i) {
            row[i] = uchar(row[i] + row[i - pixelBytes]);
        }
        return true;
    case 2:
        for (std::size_t i = 0; i < length; ++i) {
            row[i] = uchar(row[i] + above[i]);
        }
        return true;
    case 3:
        for (std::size_t i = 0; i < pixelBytes; ++i) {
            row[i] = uchar(row[i] + above[i] / 2);
        }
        for (std::size_t i = pixelBytes; i < length; ++i) {
            row[i] = uchar(row[i] + (row[i - pixelBytes] + above[i]) / 2);
        }
        return true;
    case 4:
        for (std::size_t i = 0; i < pixelBytes; ++i) {
            row[i] = uchar(row[i] + above[i]);
        }
        for (std::size_t i = pixelBytes; i < length; ++i) {
            row[i] = uchar(row[i] + paeth(row[i - pixelBytes], above[i], above[i - pixelBytes]));
        }
        return true;
    default:
        return false;
    }
}

/// Undoes the filters of every row of `rows`, each after its filter type, and writes them into `image` as Qt's
/// reader would, 0xAARRGGBB. The rows may lie in the image's own memory, as long as none starts before the
/// line of pixels made from it: each is read before its line is written.
template <std::size_t channels> bool unfilterInto(const uchar* rows, QImage& image)
{
    const auto width = std::size_t(image.width());
    const auto length = width * channels;
    std::vector<uchar> row(length);
    std::vector<uchar> above(length);
    for (int y = 0; y < image.height(); ++y, rows += length + 1) {
        std::memcpy(row.data(), rows + 1, length);
        if (!unfilterRow<channels>(rows[0], row.data(), above.data(), length)) {
            return false;
        }
        auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (std::size_t x = 0; x < width; ++x) {
            const uchar* pixel = row.data() + x * channels;
            pixels[x] =
                channels == 4 ? qRgba(pixel[0], pixel[1], pixel[2], pixel[3]) : qRgb(pixel[0], pixel[1], pixel[2]);
        }
        std::swap(row, above);
    }
    return true;
}

} // namespace

QImage decodeCommonPng(QByteArrayView bytes, QImage (*allocate)(QSize, QImage::Format))
{
    const auto layout = readLayout(bytes);
    if (!layout) {
        return {};
    }
    const auto format = layout->channels == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const QSize size(int(layout->width), int(layout->height));
    auto image = allocate(size, format);
    if (image.size() != size || image.format() != format) {
        return {};
    }
    const auto rowsBytes = (std::size_t(layout->width) * std::size_t(layout->channels) + 1) * layout->height;
    const auto imageBytes = std::size_t(image.sizeInBytes());
    // RGB rows fit at the end of the picture's own memory, so that a screenshot touches no fresh memory beyond
    // its pixels: on a virtual machine, first touches cost more than the decoding.
    const bool fitInImage = rowsBytes <= imageBytes;
    const Rows ownRows(fitInImage ? nullptr : static_cast<uchar*>(mapHugePages(rowsBytes)), Unmap{rowsBytes});
    uchar* rows = fitInImage ? image.bits() + (imageBytes - rowsBytes) : ownRows.get();
    if (!rows || !inflate(layout->zlibStream, rows, rowsBytes)) {
        return {};
    }
    const bool unfiltered = layout->channels == 4 ? unfilterInto<4>(rows, image) : unfilterInto<3>(rows, image);
    if (!unfiltered) {
        return {};
    }
    image.setDotsPerMeterX(layout->dotsPerMeterX);
    image.setDotsPerMeterY(layout->dotsPerMeterY);
    return image;
}

} // namespace platform
