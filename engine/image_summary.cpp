#include "engine/image_summary.h"

#include <QRect>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <xxhash.h>

namespace {

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

ImageSummary ImageSummary::of(const platform::Image& image)
{
    ImageSummary summary;
    {
        const auto decoded = image.toQImage();
        if (!decoded.isNull()) {
            summary = {pixelDigest(decoded), centreSquare(decoded, thumbnailSourceSide)};
        }
    }
    releaseFreedMemory();
    return summary;
}

bool haveSameTiffRepresentation(const platform::Image& left, const ImageSummary& leftSummary,
                                const platform::Image& right, const ImageSummary& rightSummary)
{
    // Decoding is deterministic: the same bytes in the same format give the same picture, or the same failure.
    if (&left == &right ||
        (left.encodedFormat() == right.encodedFormat() && left.encodedBytes() == right.encodedBytes())) {
        return true;
    }
    // TIFF records the dimensions. Two huge or corrupt pictures fail alike, whatever they show: only the very
    // same bytes match.
    if (left.size() != right.size() || !leftSummary.digest || leftSummary.digest != rightSummary.digest) {
        return false;
    }
    // Equal digests of different pictures are possible, if unlikely: compare the real thing.
    const auto same = haveSamePixels(left.toQImage(), right.toQImage());
    releaseFreedMemory();
    return same;
}
