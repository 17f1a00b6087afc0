#include "views/clipboard_item_view.h"

#include "tests/fakes/store_on_fakes.h"
#include "views/thumbnail_cache.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

constexpr int rowWidth = 296;
// Yellow, which no theme's text has: what the row's text must take when selected.
const QColor highlightedText(255, 255, 0);

// 400 x 100: red, with a green band of 100 in the middle.
ClipboardItem bandedPicture()
{
    QImage image(400, 100, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter(&image).fillRect(150, 0, 100, 100, Qt::green);
    return {std::nullopt, platform::Image::fromEncoded(platform::encodeImage(image, "png").value_or(QByteArray()))};
}

class ClipboardItemViewTest : public ::testing::Test, protected StoreOnFakes
{
protected:
    // The history's only row as the list would paint it, with its separator.
    QImage paintRow(const ClipboardItem& item, bool isSelected)
    {
        manager->setHistory({item});
        QStyleOptionViewItem option;
        option.palette.setColor(QPalette::HighlightedText, highlightedText);
        option.state = isSelected ? QStyle::State_Selected : QStyle::State_None;
        const auto index = manager->index(0);
        option.rect = QRect(QPoint(), QSize(rowWidth, rowView.sizeHint(option, index).height()));
        QImage row(option.rect.size(), QImage::Format_ARGB32);
        row.fill(Qt::transparent);
        QPainter painter(&row);
        rowView.paint(&painter, option, index);
        return row;
    }

    const int textRowHeight = QFontMetrics(QApplication::font()).height() + 16 + 1;
    ThumbnailCache thumbnails;
    ClipboardItemView rowView{thumbnails};
};

// The highlight on a real X server is checked with the panel's rendering.
TEST_F(ClipboardItemViewTest, EveryKindOfRowHighlightsAlikeAboveItsSeparator)
{
    // Name, item, height with the separator, whether it has text in the highlighted-text colour when selected.
    const std::tuple<const char*, ClipboardItem, int, bool> cases[] = {
        {"text", {QStringLiteral("Hello world"), nullptr}, textRowHeight, true},
        {"image", bandedPicture(), 56 + 1, false},
        {"neither", {std::nullopt, nullptr}, 16 + 1, false},
        {"long text, on one line", {QStringLiteral("word\n").repeated(2000), nullptr}, textRowHeight, true},
    };
    const auto separator = [](const QImage& row) { return qAlpha(row.pixel(2, row.height() - 1)); };
    for (const auto& [name, item, height, hasHighlightedText] : cases) {
        SCOPED_TRACE(name);
        const auto selected = paintRow(item, true);
        EXPECT_EQ(selected.height(), height);
        EXPECT_EQ(selected.pixel(2, 2), QApplication::palette().color(QPalette::Highlight).rgb());
        const auto* pixels = reinterpret_cast<const QRgb*>(selected.constBits());
        EXPECT_EQ(std::any_of(pixels, pixels + selected.width() * (selected.height() - 1),
                              [](QRgb pixel) { return qRed(pixel) > 230 && qGreen(pixel) > 230 && qBlue(pixel) < 40; }),
                  hasHighlightedText);
        const auto plain = paintRow(item, false);
        EXPECT_EQ(qAlpha(plain.pixel(2, 2)), 0);
        EXPECT_GT(separator(plain), 0);
        EXPECT_LT(separator(plain), 255);
        EXPECT_EQ(separator(selected), separator(plain));
    }
}

TEST_F(ClipboardItemViewTest, ThumbnailIsThePicturesMiddleOrAGreySquare)
{
    // A 40 square after the 12 of padding, centred in the row: scaled to 160 x 40, its middle is the green band.
    const auto rendered = paintRow(bandedPicture(), false);
    EXPECT_EQ(thumbnails.size(), 1u);
    EXPECT_EQ(QColor(rendered.pixel(12 + 1, 28)), QColor(Qt::green));
    EXPECT_EQ(QColor(rendered.pixel(12 + 38, 28)), QColor(Qt::green));

    // A header without pixels.
    const auto broken = paintRow({std::nullopt, platform::Image::fromEncoded("P6\n64 64\n255\n")}, false);
    const auto placeholder = QColor::fromRgba(broken.pixel(12 + 20, 28));
    EXPECT_GT(placeholder.alpha(), 0);
    EXPECT_EQ(placeholder.red(), placeholder.green());
}

} // namespace
