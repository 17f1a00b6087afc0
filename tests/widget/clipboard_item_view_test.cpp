#include "views/clipboard_item_view.h"

#include "views/thumbnail_cache.h"

#include <QApplication>
#include <QColor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

constexpr QRgb accent = qRgb(0, 0, 255);
constexpr QRgb primary = qRgb(0, 0, 0);
constexpr QRgb secondary = qRgb(255, 0, 0);

// Colours that tell the roles apart in a rendering.
QPalette distinctPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(accent));
    palette.setColor(QPalette::WindowText, QColor(primary));
    palette.setColor(QPalette::PlaceholderText, QColor(secondary));
    return palette;
}

ClipboardItem textItem(const QString& text)
{
    return {text, nullptr};
}

ClipboardItem imageItem(const QImage& image)
{
    return {std::nullopt, platform::Image::fromQImage(image)};
}

QImage solidImage(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// 400 x 100: red, then a green band of 100 in the middle, then blue.
QImage bandedImage()
{
    auto image = solidImage({400, 100}, Qt::red);
    QPainter painter(&image);
    painter.fillRect(150, 0, 100, 100, Qt::green);
    painter.fillRect(250, 0, 150, 100, Qt::blue);
    return image;
}

int countPixels(const QImage& image, const QRect& area, auto predicate)
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
        row->setPalette(distinctPalette());
        row->resize(296, row->sizeHint().height());
        return row;
    }

    static QImage render(QWidget& widget)
    {
        QImage image(widget.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        widget.render(&image, {}, {}, QWidget::DrawChildren);
        return image;
    }

    static void hover(QWidget& widget, bool inside)
    {
        if (inside) {
            QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
            QApplication::sendEvent(&widget, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(&widget, &leave);
        }
    }

    ThumbnailCache thumbnails;
    int actions = 0;
};

TEST_F(ClipboardItemViewTest, PreviewShowsLineFeedsAsSpacesAndKeepsEverythingElse)
{
    const struct
    {
        const char* text;
        const char* preview;
    } cases[] = {
        {"first\nsecond", "first second"},    {"a\n\nb", "a  b"},
        {"tab\there", "tab\there"},           {"windows\r\nline", "windows\r line"},
        {"  spaces  kept", "  spaces  kept"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.text);
        EXPECT_EQ(ClipboardItemView::previewText(QString::fromUtf8(testCase.text)),
                  QString::fromUtf8(testCase.preview));
    }
}

TEST_F(ClipboardItemViewTest, RowHeightsFollowFromThePaddingAndTheContent)
{
    const auto lineHeight = QFontMetrics(QApplication::font()).height();
    QString longText(20'000, QLatin1Char('w'));
    const struct
    {
        const char* name;
        ClipboardItem item;
        int height;
    } cases[] = {
        {"image", imageItem(solidImage({10, 10}, Qt::red)), 56},
        {"short text", textItem(QStringLiteral("hello")), lineHeight + 16},
        {"text longer than the row", textItem(longText), lineHeight + 16},
        {"text with line feeds", textItem(QStringLiteral("one\ntwo\nthree")), lineHeight + 16},
        {"neither", ClipboardItem(std::nullopt, nullptr), 16},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto row = makeRow(testCase.item);
        EXPECT_EQ(row->sizeHint().height(), testCase.height);
        EXPECT_EQ(row->minimumSizeHint().height(), testCase.height);
    }
}

TEST_F(ClipboardItemViewTest, ThumbnailIsTheMiddleOfTheScaledPictureWithRoundedCorners)
{
    const auto thumbnail = makeThumbnail(bandedImage(), 40, 6);
    ASSERT_EQ(thumbnail.size(), QSize(40, 40));
    // Scaled to 160 x 40, the middle 40 columns are the green band.
    for (const QPoint point : {QPoint(20, 20), QPoint(1, 20), QPoint(38, 20), QPoint(20, 0), QPoint(20, 39)}) {
        SCOPED_TRACE(testing::Message() << point.x() << "," << point.y());
        EXPECT_EQ(QColor(thumbnail.pixel(point)), QColor(Qt::green));
    }
    for (const QPoint corner : {QPoint(0, 0), QPoint(39, 0), QPoint(0, 39), QPoint(39, 39)}) {
        SCOPED_TRACE(testing::Message() << corner.x() << "," << corner.y());
        EXPECT_EQ(qAlpha(thumbnail.pixel(corner)), 0);
    }
}

TEST_F(ClipboardItemViewTest, ThumbnailIsMadeOncePerEntryAndPixelRatio)
{
    const auto item = imageItem(bandedImage());
    const auto first = thumbnails.thumbnail(item, 1);
    EXPECT_EQ(thumbnails.thumbnail(item, 1).cacheKey(), first.cacheKey());
    const auto sharp = thumbnails.thumbnail(item, 2);
    EXPECT_EQ(sharp.size(), QSize(80, 80));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(40, 40));

    thumbnails.keepOnly({});
    EXPECT_EQ(thumbnails.size(), 0u);

    // Made with the row, not on its first paint.
    const auto row = makeRow(item);
    EXPECT_EQ(thumbnails.size(), 1u);
}

TEST_F(ClipboardItemViewTest, ImageRowShowsTheThumbnailWithAFaintOutlineAndTheCaption)
{
    const auto row = makeRow(imageItem(bandedImage()));
    const auto image = render(*row);
    // The thumbnail sits after the leading padding, centred in the 56-high row.
    EXPECT_EQ(QColor(image.pixel(12 + 20, 28)), QColor(Qt::green));
    // The outline straddles the square's edge: faint gray over nothing just outside it.
    const auto outline = QColor::fromRgba(image.pixel(11, 28));
    EXPECT_GT(outline.alpha(), 0);
    EXPECT_LT(outline.alpha(), 128);
    // The caption, in the secondary colour, starts 12 after the thumbnail.
    const QRect caption(12 + 40 + 12, 8, 100, 40);
    EXPECT_GT(countPixels(image, caption, [](QColor color) { return color.red() > 200 && color.green() < 60; }), 10);
    EXPECT_EQ(countPixels(image, QRect(12 + 40 + 1, 8, 10, 40), [](QColor color) { return color.alpha() > 0; }), 0);
}

TEST_F(ClipboardItemViewTest, HoverFillsTheRowWithTheAccentColourAndWhitensTextButNotTheCaption)
{
    const struct
    {
        const char* name;
        ClipboardItem item;
        bool hasWhiteText;
        bool hasSecondaryText;
    } cases[] = {
        {"text", textItem(QStringLiteral("Hello world")), true, false},
        {"image", imageItem(solidImage({40, 40}, Qt::green)), false, true},
        {"neither", ClipboardItem(std::nullopt, nullptr), false, false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto row = makeRow(testCase.item);
        EXPECT_FALSE(row->isHovered());
        EXPECT_EQ(qAlpha(render(*row).pixel(2, 2)), 0);

        hover(*row, true);
        EXPECT_TRUE(row->isHovered());
        const auto hovered = render(*row);
        EXPECT_EQ(hovered.pixel(2, 2), accent);
        EXPECT_EQ(hovered.pixel(row->width() - 2, row->height() - 2), accent);
        const auto isWhite = [](QColor color) { return color.red() > 230 && color.green() > 230; };
        const auto isSecondary = [](QColor color) { return color.red() > 200 && color.green() < 60; };
        EXPECT_EQ(countPixels(hovered, hovered.rect(), isWhite) > 0, testCase.hasWhiteText);
        EXPECT_EQ(countPixels(hovered, hovered.rect(), isSecondary) > 0, testCase.hasSecondaryText);

        hover(*row, false);
        EXPECT_FALSE(row->isHovered());
        const auto left = render(*row);
        EXPECT_EQ(qAlpha(left.pixel(2, 2)), 0);
        EXPECT_EQ(countPixels(left, left.rect(), isWhite), 0);
    }
}

TEST_F(ClipboardItemViewTest, TextRowInPrimaryColourCutsALongTextWithAnEllipsisOnOneLine)
{
    QString longText;
    for (int index = 0; index < 2000; ++index) {
        longText += QStringLiteral("word%1\n").arg(index);
    }
    const auto row = makeRow(textItem(longText));
    const auto image = render(*row);
    const auto drawn = [](QColor color) { return color.alpha() > 0; };
    // Text right up to the trailing padding, nothing in it, and nothing above or below the one line.
    EXPECT_GT(countPixels(image, QRect(row->width() - 12 - 15, 0, 15, row->height()), drawn), 0);
    EXPECT_EQ(countPixels(image, QRect(row->width() - 11, 0, 11, row->height()), drawn), 0);
    EXPECT_EQ(countPixels(image, QRect(0, 0, row->width(), 5), drawn), 0);
    EXPECT_EQ(countPixels(image, QRect(0, row->height() - 5, row->width(), 5), drawn), 0);
    EXPECT_EQ(countPixels(image, image.rect(), [](QColor color) { return color.alpha() > 0 && color.red() > 60; }), 0);
}

TEST_F(ClipboardItemViewTest, ClickAnywhereInTheRowRunsTheActionOnceAndKeepsTheHover)
{
    const struct
    {
        const char* name;
        ClipboardItem item;
        QPoint position;
    } cases[] = {
        {"text, on the text", textItem(QStringLiteral("hi")), {14, 12}},
        {"text, empty space after a short text", textItem(QStringLiteral("hi")), {250, 12}},
        {"text, top padding", textItem(QStringLiteral("hi")), {100, 1}},
        {"image, thumbnail", imageItem(solidImage({5, 5}, Qt::green)), {30, 28}},
        {"image, leading padding", imageItem(solidImage({5, 5}, Qt::green)), {2, 54}},
        {"neither", ClipboardItem(std::nullopt, nullptr), {150, 8}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        actions = 0;
        const auto row = makeRow(testCase.item);
        hover(*row, true);
        QTest::mouseClick(row.get(), Qt::LeftButton, {}, testCase.position);
        EXPECT_EQ(actions, 1);
        EXPECT_TRUE(row->isHovered());
    }
}

} // namespace
