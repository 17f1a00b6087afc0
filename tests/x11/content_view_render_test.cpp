// Shows the panel content on a real X server in its main states and checks what is on it. With
// VELMORA_SCREENSHOTS_DIR set, each state is also written there as a PNG (scripts/render-panel).

#include "views/content_view.h"

#include "tests/fakes/store_on_fakes.h"

#include <QCursor>
#include <QDir>
#include <QListView>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A sky over a dark green ground.
ClipboardItem landscape(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(110, 150, 200));
    QPainter(&image).fillRect(0, size.height() * 2 / 3, size.width(), size.height() / 3, QColor(50, 80, 60));
    return {std::nullopt, platform::Image::fromEncoded(platform::encodeImage(image, "png").value_or(QByteArray()))};
}

TEST(ContentViewRenderTest, DrawsEachStateAsARoundedCardWithItsSymbols)
{
    StoreOnFakes store;
    auto& [clipboard, eventLoop, timers, manager] = store;
    ContentView view{*manager, eventLoop};
    view.setAttribute(Qt::WA_TranslucentBackground);
    view.setWindowFlags(Qt::FramelessWindowHint);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QCursor::setPos(10, 10);
    const auto ratio = view.devicePixelRatio();
    // The panel as drawn, saved under `name` when screenshots are asked for: a card with rounded corners.
    const auto capture = [&](const char* name) {
        eventLoop.settle();
        const auto image = view.grab().toImage();
        const auto directory = qEnvironmentVariable("VELMORA_SCREENSHOTS_DIR");
        EXPECT_TRUE(directory.isEmpty() || image.save(QDir(directory).filePath(QString::fromLatin1(name) + ".png")));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << name;
        EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0) << name;
        EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, 0)), 255) << name;
        return image;
    };
    const auto empty = capture("empty");
    // Drawn from the bundled pictures when the icon theme has none: not just the background.
    for (const char* name : {"searchSymbol", "quitButton"}) {
        const auto* symbol = view.findChild<QWidget*>(QString::fromLatin1(name));
        const QRect area(symbol->mapTo(&view, QPoint()) * ratio, symbol->size() * ratio);
        QImage blank(area.size(), empty.format());
        blank.fill(QColor::fromRgba(empty.pixel(area.topLeft() - QPoint(1, 1))));
        EXPECT_NE(empty.copy(area), blank) << name;
    }

    manager->setHistory({
        {QStringLiteral("git commit -m \"views: Add the panel\""), nullptr},
        landscape({3840, 2160}),
        {QStringLiteral("first line\nsecond line\nthird line"), nullptr},
        {QString::fromUtf8("Crème brûlée, smörgåsbord and 😀 emoji"), nullptr},
        {QStringLiteral("A long text that does not fit into one line of the panel, so it is cut at the end"), nullptr},
        landscape({400, 100}),
    });
    capture("mixed");
    // The real pointer over a row highlights it.
    auto* list = view.findChild<QListView*>(QStringLiteral("historyList"));
    const auto row = list->model()->index(2, 0);
    QCursor::setPos(list->viewport()->mapToGlobal(list->visualRect(row).center()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->selectionModel()->isSelected(row); }));
    capture("hovered");

    manager->setSearchText(QStringLiteral("nothing like this"));
    capture("no-matches");
    manager->setSearchText(QString());
    QCursor::setPos(10, 10);
    std::vector<ClipboardItem> fifty;
    for (int index = 0; index < 50; ++index) {
        fifty.push_back(index % 4 == 1 ? landscape({640, 480})
                                       : ClipboardItem(QString("Entry %1").arg(index), nullptr));
    }
    manager->setHistory(fifty);
    capture("fifty");
}

} // namespace
