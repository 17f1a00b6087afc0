#include "views/clipboard_item_view.h"

#include "views/accessible_views.h"
#include "views/thumbnail_cache.h"

#include <QAccessible>
#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>

namespace {

// 400 x 100: red, with a green band of 100 in the middle.
ClipboardItem bandedPicture()
{
    QImage image(400, 100, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter(&image).fillRect(150, 0, 100, 100, Qt::green);
    return {std::nullopt, platform::Image::fromEncoded(platform::encodeImage(image, "png").value_or(QByteArray()))};
}

class ClipboardItemViewTest : public ::testing::Test
{
protected:
    std::unique_ptr<ClipboardItemView> makeRow(ClipboardItem item)
    {
        installAccessibleViews();
        auto row = std::make_unique<ClipboardItemView>(
            std::move(item), [this] { ++actions; }, thumbnails);
        row->setAttribute(Qt::WA_TranslucentBackground);
        row->resize(296, row->sizeHint().height());
        return row;
    }

    const int textRowHeight = QFontMetrics(QApplication::font()).height() + 16;
    ThumbnailCache thumbnails;
    int actions = 0;
};

// The highlight on a real X server is checked with the panel's rendering.
TEST_F(ClipboardItemViewTest, EveryKindOfRowHighlightsAndRunsItsActionAlike)
{
    const auto lines = QStringLiteral("word\n").repeated(2000);
    // Name, item, height, whether it has white text, the start of what a screen reader names it.
    const std::tuple<const char*, ClipboardItem, int, bool, QString> cases[] = {
        {"text", {QStringLiteral("Hello world"), nullptr}, textRowHeight, true, "Hello world"},
        {"image", bandedPicture(), 56, false, "Image"},
        {"neither", {std::nullopt, nullptr}, 16, false, ""},
        {"long text, on one line", {lines, nullptr}, textRowHeight, true, "word word "},
    };
    for (const auto& [name, item, height, hasWhiteText, spoken] : cases) {
        SCOPED_TRACE(name);
        const auto row = makeRow(item);
        EXPECT_EQ(row->sizeHint().height(), height);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(row.get(), &enter);
        const auto hovered = row->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(hovered.pixel(2, 2), row->palette().color(QPalette::Highlight).rgb());
        const auto* pixels = reinterpret_cast<const QRgb*>(hovered.constBits());
        EXPECT_EQ(std::any_of(pixels, pixels + hovered.width() * hovered.height(),
                              [](QRgb pixel) { return qRed(pixel) > 230 && qGreen(pixel) > 230; }),
                  hasWhiteText);
        // On the content, in the leading padding, and from a screen reader.
        QTest::mouseClick(row.get(), Qt::LeftButton, {}, QPoint(30, row->height() / 2));
        QTest::mouseClick(row.get(), Qt::LeftButton, {}, QPoint(2, 1));
        auto* accessible = QAccessible::queryAccessibleInterface(row.get());
        EXPECT_TRUE(accessible->text(QAccessible::Name).startsWith(spoken));
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_EQ(std::exchange(actions, 0), 3);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(row.get(), &leave);
        EXPECT_EQ(qAlpha(row->grab().toImage().pixel(2, 2)), 0);
    }
}

TEST_F(ClipboardItemViewTest, ThumbnailIsThePicturesMiddleOrAGreySquare)
{
    const auto row = makeRow(bandedPicture());
    EXPECT_EQ(thumbnails.size(), 1u);
    // A 40 square after the 12 of padding, centred in the row: scaled to 160 x 40, its middle is the green band.
    const auto rendered = row->grab().toImage();
    EXPECT_EQ(QColor(rendered.pixel(12 + 1, 28)), QColor(Qt::green));
    EXPECT_EQ(QColor(rendered.pixel(12 + 38, 28)), QColor(Qt::green));

    // A header without pixels.
    const auto broken = makeRow({std::nullopt, platform::Image::fromEncoded("P6\n64 64\n255\n")});
    const auto placeholder = QColor::fromRgba(broken->grab().toImage().pixel(12 + 20, 28));
    EXPECT_GT(placeholder.alpha(), 0);
    EXPECT_EQ(placeholder.red(), placeholder.green());
}

} // namespace
