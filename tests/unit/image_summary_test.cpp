#include "engine/image_summary.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

namespace {

using platform::Image;

std::shared_ptr<const Image> encoded(const QImage& image, const char* format)
{
    return Image::fromEncoded(platform::encodeImage(image, format).value_or(QByteArray()));
}

bool haveSameTiffRepresentation(const Image& left, const Image& right)
{
    return haveSameTiffRepresentation(left, ImageSummary::of(left), right, ImageSummary::of(right));
}

// Which square is kept shows in the thumbnail the row draws.
TEST(ImageSummaryTest, KeepsASquareAtMostThumbnailSourceSideWide)
{
    QImage picture(QSize(400, 200), QImage::Format_RGB32);
    picture.fill(Qt::red);
    const auto side = ImageSummary::thumbnailSourceSide;
    EXPECT_EQ(ImageSummary::of(*encoded(picture, "png")).thumbnailSource.size(), QSize(side, side));
}

TEST(ImageSummaryTest, MatchesExactlyWhenTheTiffRepresentationsAreEqualEvenWhereTheDigestsCollide)
{
    QImage picture(QSize(40, 30), QImage::Format_RGB32);
    picture.fill(qRgb(10, 120, 200));
    auto changed = picture;
    changed.setPixel(39, 29, qRgb(1, 2, 3));
    QImage indexed(QSize(3, 2), QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    indexed.fill(1);
    auto recoloured = indexed.copy();
    recoloured.setColor(1, qRgb(255, 0, 0));
    const auto png = [](const QImage& image) { return encoded(image, "png"); };
    const auto bmp = [](const QImage& image) { return encoded(image, "bmp"); };
    // Headers announcing 40 x 30 pixels that are missing, or 1.6 GB of them.
    const auto broken = [](char seed) { return Image::fromEncoded(QByteArray("P6\n40 30\n255\n") + seed); };
    const auto huge = [](char seed) { return Image::fromEncoded(QByteArray("P6\n20000 20000\n255\n") + seed); };
    // Name, two pictures, whether they are the same.
    const std::tuple<const char*, std::shared_ptr<const Image>, std::shared_ptr<const Image>, bool> rows[] = {
        {"one pixel differs", png(picture), png(changed), false},
        {"RGB32 and ARGB32 of the same colours", png(picture), png(picture.convertToFormat(QImage::Format_ARGB32)),
         false},
        {"the same indices under other colours", bmp(indexed), bmp(recoloured), false},
        {"different sizes", png(picture), png(picture.copy(0, 0, 40, 29)), false},
        {"two different broken pictures", broken('1'), broken('2'), false},
        {"one broken picture twice", broken('1'), broken('1'), true},
        {"two different pictures too large to decode", huge('r'), huge('b'), false},
        {"broken and whole of one size", broken('1'), png(picture), false},
    };
    for (const auto& [name, left, right, same] : rows) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(left && right);
        // Where both have one, the plain comparison of the encodings is the rule; the digests only make it fast.
        if (const auto leftTiff = left->tiffRepresentation(), rightTiff = right->tiffRepresentation();
            leftTiff || rightTiff) {
            EXPECT_EQ(leftTiff == rightTiff, same);
        }
        EXPECT_EQ(haveSameTiffRepresentation(*left, *right), same);
        EXPECT_EQ(haveSameTiffRepresentation(*right, *left), same);
    }
    // A summary that claims the other picture's digest, as a collision would: the pixels still differ.
    const auto left = png(picture);
    const auto right = bmp(changed);
    const auto rightSummary = ImageSummary::of(*right);
    EXPECT_FALSE(haveSameTiffRepresentation(*left, rightSummary, *right, rightSummary));
}

} // namespace
