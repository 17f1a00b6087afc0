#include "views/clipboard_item_view.h"

#include "views/thumbnail_cache.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>

namespace {

// Colours that tell the roles apart in a rendering.
constexpr QRgb accent = qRgb(0, 0, 255);

constexpr auto isWhite = [](QColor color) { return color.red() > 230 && color.green() > 230; };
constexpr auto isSecondary = [](QColor color) { return color.red() > 200 && color.green() < 60; };
constexpr auto isDrawn = [](QColor color) { return color.alpha() > 0; };

// 400 x 100: red, a green band of 100 in the middle, then blue.
ClipboardItem bandedPicture()
{
    QImage image(400, 100, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter painter(&image);
    painter.fillRect(150, 0, 100, 100, Qt::green);
    painter.fillRect(250, 0, 150, 100, Qt::blue);
    painter.end();
    return {std::nullopt, platform::Image::fromQImage(image)};
}

int countPixels(const QImage& image, const QRect& area, bool (*predicate)(QColor))
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += predicate(QColor::fromRgba(image.pixel(x, y))) ? 1 : 0;
        }
    }
    return count;
}

class ClipboardItemViewTest : public ::testing::Test
{
protected:
    std::unique_ptr<ClipboardItemView> makeRow(ClipboardItem item)
    {
        auto row = std::make_unique<ClipboardItemView>(
            std::move(item), [this] { ++actions; }, thumbnails);
        QPalette palette;
        palette.setColor(QPalette::Highlight, QColor(accent));
        palette.setColor(QPalette::WindowText, Qt::black);
        palette.setColor(QPalette::PlaceholderText, Qt::red);
        row->setPalette(palette);
        // Only what the row draws itself.
        row->setAttribute(Qt::WA_TranslucentBackground);
        row->resize(296, row->sizeHint().height());
        return row;
    }

    const int textRowHeight = QFontMetrics(QApplication::font()).height() + 16;
    ThumbnailCache thumbnails;
    int actions = 0;
};

TEST_F(ClipboardItemViewTest, EveryKindOfRowHighlightsUnderThePointerAndRunsItsActionOnAnyClick)
{
    const struct
    {
        const char* name;
        ClipboardItem item;
        int height;
        bool hasWhiteText;
        bool hasSecondaryText;
    } cases[] = {
        {"text", {QStringLiteral("Hello world"), nullptr}, textRowHeight, true, false},
        {"image", bandedPicture(), 56, false, true},
        {"neither", {std::nullopt, nullptr}, 16, false, false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto row = makeRow(testCase.item);
        EXPECT_EQ(row->sizeHint().height(), testCase.height);
        EXPECT_EQ(qAlpha(row->grab().toImage().pixel(2, 2)), 0);

        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(row.get(), &enter);
        const auto hovered = row->grab().toImage();
        EXPECT_EQ(hovered.pixel(2, 2), accent);
        EXPECT_EQ(hovered.pixel(row->width() - 2, row->height() - 2), accent);
        EXPECT_EQ(countPixels(hovered, hovered.rect(), isWhite) > 0, testCase.hasWhiteText);
        EXPECT_EQ(countPixels(hovered, hovered.rect(), isSecondary) > 0, testCase.hasSecondaryText);

        // On the content, in the empty space after it, in the top and the leading padding.
        const auto middle = row->height() / 2;
        for (const QPoint point : {QPoint(30, middle), QPoint(250, middle), QPoint(100, 1), QPoint(2, middle)}) {
            QTest::mouseClick(row.get(), Qt::LeftButton, {}, point);
        }
        EXPECT_EQ(std::exchange(actions, 0), 4);
        EXPECT_TRUE(row->isHovered());

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(row.get(), &leave);
        const auto left = row->grab().toImage();
        EXPECT_EQ(qAlpha(left.pixel(2, 2)), 0);
        EXPECT_EQ(countPixels(left, left.rect(), isWhite), 0);
    }
}

TEST_F(ClipboardItemViewTest, ThumbnailIsTheMiddleOfTheScaledPictureWithRoundedCornersMadeOnceWithTheRowAndOutlined)
{
    const auto item = bandedPicture();
    const auto row = makeRow(item);
    // Made with the row, not on its first paint.
    EXPECT_EQ(thumbnails.size(), 1u);
    const auto thumbnail = thumbnails.thumbnail(item, 1);
    EXPECT_EQ(thumbnails.thumbnail(item, 1).cacheKey(), thumbnail.cacheKey());
    const auto image = thumbnail.toImage();
    ASSERT_EQ(image.size(), QSize(40, 40));
    // Scaled to 160 x 40, the middle 40 columns are the green band.
    for (const QPoint point : {QPoint(20, 20), QPoint(1, 20), QPoint(38, 20), QPoint(20, 0), QPoint(20, 39)}) {
        EXPECT_EQ(QColor(image.pixel(point)), QColor(Qt::green)) << point.x() << "," << point.y();
    }
    for (const QPoint corner : {QPoint(0, 0), QPoint(39, 0), QPoint(0, 39), QPoint(39, 39)}) {
        EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
    }
    const auto sharp = thumbnails.thumbnail(item, 2);
    EXPECT_EQ(sharp.size(), QSize(80, 80));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(40, 40));
    thumbnails.keepOnly({});
    EXPECT_EQ(thumbnails.size(), 0u);

    // In the row: after the leading padding, centred in the 56-high row, and a faint gray outline that
    // straddles the square's edge; the caption in the secondary colour 12 after it.
    const auto rendered = row->grab().toImage();
    EXPECT_EQ(QColor(rendered.pixel(12 + 20, 28)), QColor(Qt::green));
    EXPECT_GT(qAlpha(rendered.pixel(11, 28)), 0);
    EXPECT_LT(qAlpha(rendered.pixel(11, 28)), 128);
    EXPECT_GT(countPixels(rendered, QRect(12 + 40 + 12, 8, 100, 40), isSecondary), 10);
    EXPECT_EQ(countPixels(rendered, QRect(12 + 40 + 1, 8, 10, 40), isDrawn), 0);

    // A picture that cannot be decoded (a header without pixels) fills the square with a neutral tone.
    const auto broken = makeRow({std::nullopt, platform::Image::fromEncoded("P6\n64 64\n255\n")});
    const auto placeholder = QColor::fromRgba(broken->grab().toImage().pixel(12 + 20, 28));
    EXPECT_GT(placeholder.alpha(), 0);
    EXPECT_LT(placeholder.alpha(), 128);
    EXPECT_EQ(placeholder.red(), placeholder.green());
}

TEST_F(ClipboardItemViewTest, TextRowShowsLineFeedsAsSpacesAndCutsALongTextOnOneLineInThePrimaryColour)
{
    EXPECT_EQ(ClipboardItemView::previewText(QStringLiteral(" a\n\nb\tc\r\nd ")), QStringLiteral(" a  b\tc\r d "));
    QString longText;
    for (int index = 0; index < 2000; ++index) {
        longText += QStringLiteral("word%1\n").arg(index);
    }
    const auto row = makeRow({longText, nullptr});
    EXPECT_EQ(row->sizeHint().height(), textRowHeight);
    const auto image = row->grab().toImage();
    // Text right up to the trailing padding, nothing in it, and nothing above or below the one line.
    EXPECT_GT(countPixels(image, QRect(row->width() - 12 - 15, 0, 15, row->height()), isDrawn), 0);
    EXPECT_EQ(countPixels(image, QRect(row->width() - 11, 0, 11, row->height()), isDrawn), 0);
    EXPECT_EQ(countPixels(image, QRect(0, 0, row->width(), 5), isDrawn), 0);
    EXPECT_EQ(countPixels(image, QRect(0, row->height() - 5, row->width(), 5), isDrawn), 0);
    EXPECT_EQ(countPixels(image, image.rect(), [](QColor color) { return color.alpha() > 0 && color.red() > 60; }), 0);
}

} // namespace
