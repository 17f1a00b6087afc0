// Shows the panel content on a real X server in its main states, in the default theme and with Fusion's dark
// palette, and checks what is on it. With VELMORA_SCREENSHOTS_DIR set, each state is also written there
// as a PNG, the dark ones prefixed "dark-" (scripts/render-panel).

#include "views/content_view.h"

#include "tests/fakes/store_on_fakes.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QListView>
#include <QPainter>
#include <QPalette>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

namespace {

// A sky over a dark green ground.
ClipboardItem landscape(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(110, 150, 200));
    QPainter(&image).fillRect(0, size.height() * 2 / 3, size.width(), size.height() / 3, QColor(50, 80, 60));
    return {std::nullopt, platform::Image::fromEncoded(platform::encodeImage(image, "png").value_or(QByteArray()))};
}

// Fusion's colours for a dark desktop, as applications that offer one set them.
QPalette darkPalette()
{
    const QColor accent(42, 130, 218);
    QPalette palette(Qt::white, QColor(53, 53, 53), QColor(80, 80, 80), Qt::black, Qt::gray, Qt::white, Qt::white,
                     QColor(42, 42, 42), QColor(53, 53, 53));
    palette.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::black);
    return palette;
}

TEST(ContentViewRenderTest, DrawsEachStateAsARoundedCardWithItsSymbolsInALightAndADarkTheme)
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
    const auto lightPalette = QApplication::palette();
    // The panel as drawn in the dark theme, then in the default one, which is returned, each saved when
    // screenshots are asked for, the dark one as "dark-`name`": a card with rounded corners.
    const auto capture = [&](const char* name) {
        QImage image;
        for (const auto& [prefix, palette] : {std::pair("dark-", darkPalette()), std::pair("", lightPalette)}) {
            QApplication::setPalette(palette);
            eventLoop.settle();
            image = view.grab().toImage();
            const auto directory = qEnvironmentVariable("VELMORA_SCREENSHOTS_DIR");
            const auto file = QDir(directory).filePath(QString::fromLatin1(prefix) + name + ".png");
            EXPECT_TRUE(directory.isEmpty() || image.save(file));
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << prefix << name;
            EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0) << prefix << name;
            EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, 0)), 255) << prefix << name;
        }
        return image;
    };
    const auto empty = capture("empty");
    // Drawn from the bundled pictures when the icon theme has none: not one colour all over.
    for (const char* name : {"searchSymbol", "quitButton"}) {
        const auto* symbol = view.findChild<QWidget*>(QString::fromLatin1(name));
        const auto drawn = empty.copy(QRect(symbol->mapTo(&view, QPoint()) * ratio, symbol->size() * ratio));
        EXPECT_NE(drawn, drawn.copy(0, 0, 1, 1).scaled(drawn.size())) << name;
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
