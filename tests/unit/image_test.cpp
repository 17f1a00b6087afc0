#include "platform/image.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

QByteArray encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

QImage pattern(QSize size, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            image.setPixel(x, y, qRgb((x * 3 + seed) & 0xff, (y * 5) & 0xff, (x * y + seed) & 0xff));
        }
    }
    return image;
}

std::uint32_t crc32(const QByteArray& bytes)
{
    std::uint32_t crc = 0xffffffffu;
    for (const auto byte : bytes) {
        crc ^= static_cast<std::uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), chunk.data());
    const auto typed = type + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(typed), crc.data());
    return chunk + typed + crc;
}

// A well-formed PNG header announcing a picture of `width` x `height`, followed by next to no pixel data.
QByteArray pngHeaderClaiming(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + 4);
    header[8] = 8; // bits per sample
    header[9] = 2; // RGB
    const QByteArray emptyDeflateStream("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", emptyDeflateStream)
           + pngChunk("IEND", {});
}

TEST(ImageTest, BytesHoldingNoPictureGiveNoImage)
{
    const struct
    {
        const char* name;
        QByteArray bytes;
    } rows[] = {
        {"empty", {}},
        {"text", "hello, this is not a picture"},
        {"PNG signature only", QByteArray("\x89PNG\r\n\x1a\n", 8)},
        {"PNG cut inside its header", encode(pattern(QSize(4, 4), 0), "png").left(20)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(platform::Image::fromEncoded(row.bytes), nullptr);
    }
    EXPECT_EQ(platform::Image::fromQImage(QImage()), nullptr);
}

TEST(ImageTest, KeepsTheBytesItArrivedInAndDecodesThemOnDemand)
{
    const auto picture = pattern(QSize(30, 20), 1);
    const auto png = encode(picture, "png");
    const auto image = platform::Image::fromEncoded(png);
    ASSERT_TRUE(image);

    EXPECT_EQ(image->size(), QSize(30, 20));
    EXPECT_EQ(image->encodedBytes(), png);
    EXPECT_EQ(image->encodedFormat(), "png");
    EXPECT_EQ(image->toQImage().convertToFormat(QImage::Format_RGB32), picture);
}

TEST(ImageTest, EncodesToTiffThatReadsBackAsTheSamePicture)
{
    const auto picture = pattern(QSize(17, 9), 2);
    const auto tiff = platform::Image::fromEncoded(encode(picture, "bmp"))->tiffRepresentation();
    ASSERT_TRUE(tiff);
    EXPECT_TRUE(tiff->startsWith("II*") || tiff->startsWith("MM"));
    EXPECT_EQ(QImage::fromData(*tiff, "tiff").convertToFormat(QImage::Format_RGB32), picture);
}

TEST(ImageTest, APictureTooLargeToDecodeSafelyHasNoTiff)
{
    // 20000 x 20000 would take 1.6 GB decoded: it is refused, not allocated.
    const auto image = platform::Image::fromEncoded(pngHeaderClaiming(20000, 20000));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(20000, 20000));
    EXPECT_TRUE(image->toQImage().isNull());
    EXPECT_FALSE(image->tiffRepresentation());
}

TEST(ImageTest, MatchesExactlyWhenTheTiffRepresentationsAreEqual)
{
    const auto picture = pattern(QSize(40, 30), 3);
    const auto png = encode(picture, "png");
    const auto broken = [](int seed) {
        return platform::Image::fromEncoded(encode(pattern(QSize(64, 64), seed), "png", 100).left(3000));
    };
    const struct
    {
        const char* name;
        std::shared_ptr<const platform::Image> left;
        std::shared_ptr<const platform::Image> right;
        bool same;
    } rows[] = {
        {"the same bytes", platform::Image::fromEncoded(png), platform::Image::fromEncoded(png), true},
        {"PNG and BMP of one picture", platform::Image::fromEncoded(png),
         platform::Image::fromEncoded(encode(picture, "bmp")), true},
        {"two PNG encodings of one picture", platform::Image::fromEncoded(encode(picture, "png", 0)),
         platform::Image::fromEncoded(encode(picture, "png", 100)), true},
        {"decoded and encoded", platform::Image::fromQImage(picture), platform::Image::fromEncoded(png), true},
        {"one pixel differs", platform::Image::fromEncoded(png), [&] {
             auto changed = picture;
             changed.setPixel(39, 29, qRgb(1, 2, 3));
             return platform::Image::fromEncoded(encode(changed, "png"));
         }(),
         false},
        {"different sizes", platform::Image::fromEncoded(png),
         platform::Image::fromEncoded(encode(picture.copy(0, 0, 40, 29), "png")), false},
        {"two broken pictures", broken(1), broken(2), true},
        {"broken and whole of one size", broken(1), platform::Image::fromQImage(pattern(QSize(64, 64), 1)), false},
        {"broken and whole of other sizes", broken(1), platform::Image::fromEncoded(png), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.left && row.right);
        // The plain comparison of the encodings is the rule; the digests only make it fast.
        EXPECT_EQ(row.left->tiffRepresentation() == row.right->tiffRepresentation(), row.same);
        EXPECT_EQ(row.left->hasSameTiffRepresentation(*row.right), row.same);
        EXPECT_EQ(row.right->hasSameTiffRepresentation(*row.left), row.same);
    }
}

} // namespace
