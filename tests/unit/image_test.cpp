#include "platform/image.h"

#include <gtest/gtest.h>

namespace {

using platform::Image;

QByteArray encode(const QImage& image, const char* format)
{
    return platform::encodeImage(image, format).value_or(QByteArray());
}

TEST(ImageTest, RefusesBytesWithoutAPictureAndLeavesAHugeOneUndecoded)
{
    QImage picture(QSize(4, 4), QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (const auto& bytes : {QByteArray(), QByteArray("not a picture"), encode(picture, "png").left(20)}) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        EXPECT_EQ(Image::fromEncoded(bytes), nullptr);
    }
    // 20000 x 20000 would take 1.6 GB decoded: it is refused, not allocated.
    const auto huge = Image::fromEncoded("P6\n20000 20000\n255\n");
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->size(), QSize(20000, 20000));
    EXPECT_TRUE(huge->toQImage().isNull());
    EXPECT_FALSE(huge->tiffRepresentation());
}

TEST(ImageTest, DecodesToThePictureThatWasEncodedSmallOrLargeEnoughForRoomOfItsOwn)
{
    // 1200 x 1000 at 32 bits is past the size from which a decoded picture gets a mapping of its own.
    for (const QSize size : {QSize(30, 20), QSize(1200, 1000)}) {
        for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
            SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height() << ", format " << format);
            QImage picture(size, format);
            for (int y = 0; y < size.height(); ++y) {
                for (int x = 0; x < size.width(); ++x) {
                    picture.setPixel(
                        x, y, qRgba(x % 256, y % 256, (x * y) % 256, format == QImage::Format_RGB32 ? 255 : x % 200));
                }
            }
            const auto image = Image::fromEncoded(encode(picture, "png"));
            ASSERT_TRUE(image);
            EXPECT_EQ(image->size(), size);
            EXPECT_EQ(image->toQImage(), picture);
        }
    }
}

} // namespace
