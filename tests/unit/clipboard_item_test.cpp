#include "engine/clipboard_item.h"

#include <QImage>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;

TEST(ClipboardItemTest, IsEqualOnlyToItselfAndItsCopies)
{
    const ClipboardItem first(u"same"_s, nullptr);
    const ClipboardItem second(u"same"_s, nullptr);
    const auto copy = first;

    EXPECT_NE(first, second);
    EXPECT_NE(first.id(), second.id());
    EXPECT_EQ(copy, first);
    EXPECT_LE(first.timestamp(), second.timestamp());
}

TEST(ClipboardItemTest, CopiesShareOneImageThatLivesAsLongAsTheLastCopy)
{
    QImage picture(QSize(4, 4), QImage::Format_RGB32);
    picture.fill(Qt::red);
    auto image = platform::Image::fromQImage(picture);
    const std::weak_ptr<const platform::Image> watch = image;
    auto item = std::make_unique<ClipboardItem>(std::nullopt, std::move(image));
    const auto copy = *item;

    EXPECT_EQ(copy.image(), item->image());
    item.reset();
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(copy.image(), watch.lock());
}

TEST(ClipboardItemTest, KeepsTheTextAsGivenBesideItsCanonicalForm)
{
    const ClipboardItem decomposed(u"cafe\u0301"_s, nullptr);
    EXPECT_EQ(decomposed.text(), u"cafe\u0301"_s);
    EXPECT_EQ(decomposed.canonicalText(), u"caf\u00e9"_s);

    const ClipboardItem composed(u"caf\u00e9"_s, nullptr);
    EXPECT_EQ(composed.canonicalText()->constData(), composed.text()->constData());

    const ClipboardItem empty(std::nullopt, nullptr);
    EXPECT_FALSE(empty.text());
    EXPECT_FALSE(empty.canonicalText());
    EXPECT_FALSE(empty.image());
}

} // namespace
