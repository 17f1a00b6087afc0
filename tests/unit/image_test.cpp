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

} // namespace
