// Shows the panel content on a real X server in its main states and checks what is on it. With
// VELMORA_SCREENSHOTS_DIR set, each state is also written there as a PNG (scripts/render-panel).

#include "views/content_view.h"

#include "engine/clipboard_manager.h"
#include "tests/fakes/fake_main_queue.h"
#include "tests/fakes/fake_pasteboard.h"
#include "tests/fakes/fake_queue_factory.h"
#include "views/clipboard_item_view.h"

#include <QCursor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QRadialGradient>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace {

std::shared_ptr<const platform::Image> landscape(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(250, 190, 120));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(size.width() * 0.7, size.height() * 0.4, size.height() * 0.15);
    sun.setColorAt(0, QColor(255, 240, 200));
    sun.setColorAt(1, Qt::transparent);
    painter.fillRect(image.rect(), sun);
    painter.fillRect(QRect(0, size.height() * 2 / 3, size.width(), size.height() / 3), QColor(50, 80, 60));
    painter.end();
    return platform::Image::fromQImage(image);
}

std::vector<ClipboardItem> mixedHistory()
{
    return {
        {QStringLiteral("git commit -m \"views: Add the panel\""), nullptr},
        {std::nullopt, landscape({3840, 2160})},
        {QStringLiteral("first line\nsecond line\nthird line"), nullptr},
        {QString::fromUtf8("Crème brûlée, smörgåsbord and 😀 emoji"), nullptr},
        {QStringLiteral("A very long text that certainly does not fit into one line of the panel and is cut"), nullptr},
        {std::nullopt, landscape({400, 100})},
        {QStringLiteral("https://example.org/a/rather/long/address?with=query&and=more"), nullptr},
        {QStringLiteral("short"), nullptr},
    };
}

class ContentViewRenderTest : public ::testing::Test
{
protected:
    ContentViewRenderTest()
    {
        view = std::make_unique<ContentView>(
            *manager, mainQueue, [] {}, [] {});
        view->setAttribute(Qt::WA_TranslucentBackground);
        view->setWindowFlags(Qt::FramelessWindowHint);
        view->move(100, 100);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        QCursor::setPos(10, 10);
    }

    void settle()
    {
        mainQueue.runPending();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    // The panel as drawn, and saved under `name` when screenshots are asked for.
    QImage capture(const char* name)
    {
        settle();
        auto image = view->grab().toImage();
        const auto directory = qEnvironmentVariable("VELMORA_SCREENSHOTS_DIR");
        if (!directory.isEmpty()) {
            EXPECT_TRUE(image.save(QDir(directory).filePath(QString::fromLatin1(name) + QStringLiteral(".png"))));
        }
        return image;
    }

    [[nodiscard]] std::vector<ClipboardItemView*> rows() const
    {
        auto all = view->findChildren<ClipboardItemView*>();
        std::vector<ClipboardItemView*> shown;
        std::copy_if(all.begin(), all.end(), std::back_inserter(shown), [](auto* row) { return row->isVisible(); });
        std::sort(shown.begin(), shown.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
        return shown;
    }

    static void expectTransparentCorners(const QImage& image)
    {
        const auto last = image.width() - 1;
        const auto bottom = image.height() - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, bottom), QPoint(last, bottom)}) {
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0);
        }
        EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, 0)), 255);
        EXPECT_EQ(qAlpha(image.pixel(0, image.height() / 2)), 255);
    }

    FakePasteboard pasteboard;
    FakeMainQueue mainQueue;
    FakeQueueFactory queues;
    std::shared_ptr<ClipboardManager> manager = ClipboardManager::create(pasteboard, mainQueue, queues);
    std::unique_ptr<ContentView> view;
};

TEST_F(ContentViewRenderTest, EmptyPanelIsARoundedCardWithItsSymbols)
{
    const auto image = capture("empty");
    EXPECT_EQ(image.size(), QSize(320, 420) * view->devicePixelRatio());
    expectTransparentCorners(image);
    // Drawn from the bundled pictures when the icon theme has none.
    for (const char* name : {"searchSymbol", "quitButton"}) {
        SCOPED_TRACE(name);
        const auto* symbol = view->findChild<QWidget*>(QString::fromLatin1(name));
        const QRect area(symbol->mapTo(view.get(), QPoint()) * view->devicePixelRatio(),
                         symbol->size() * view->devicePixelRatio());
        const auto background = image.pixel(area.topLeft() - QPoint(1, 1));
        int drawn = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                drawn += image.pixel(x, y) != background ? 1 : 0;
            }
        }
        EXPECT_GT(drawn, 10);
    }
}

TEST_F(ContentViewRenderTest, MixedEntriesShowThumbnailsAndTexts)
{
    manager->setHistory(mixedHistory());
    const auto image = capture("mixed");
    expectTransparentCorners(image);
    ASSERT_EQ(rows().size(), mixedHistory().size());
    // The bottom of the big picture's thumbnail is its dark green ground.
    const auto ground = rows()[1]->mapTo(view.get(), QPoint(12 + 20, 8 + 36)) * view->devicePixelRatio();
    const QColor colour(image.pixel(ground));
    EXPECT_GT(colour.green(), colour.red() + 15);
    EXPECT_LT(colour.green(), 120);
}

TEST_F(ContentViewRenderTest, FiftyEntriesScrollInsideTheCard)
{
    std::vector<ClipboardItem> history;
    for (int index = 0; index < 50; ++index) {
        history.push_back(index % 4 == 1 ? ClipboardItem(std::nullopt, landscape({640, 480}))
                                         : ClipboardItem(QStringLiteral("Entry number %1").arg(index), nullptr));
    }
    manager->setHistory(history);
    const auto image = capture("fifty");
    expectTransparentCorners(image);
    EXPECT_EQ(rows().size(), 50u);
}

TEST_F(ContentViewRenderTest, RowUnderThePointerIsFilledWithTheAccentColour)
{
    manager->setHistory(mixedHistory());
    settle();
    auto* row = rows()[2];
    QCursor::setPos(row->mapToGlobal(QPoint(row->width() / 2, row->height() / 2)));
    ASSERT_TRUE(QTest::qWaitFor([row] { return row->isHovered(); }));
    const auto image = capture("hovered");
    const auto padding = row->mapTo(view.get(), QPoint(2, 2)) * view->devicePixelRatio();
    EXPECT_EQ(QColor(image.pixel(padding)), view->palette().color(QPalette::Highlight));
    EXPECT_FALSE(rows()[1]->isHovered());
}

TEST_F(ContentViewRenderTest, SearchWithoutMatchesSaysSo)
{
    manager->setHistory(mixedHistory());
    manager->setSearchText(QStringLiteral("nothing like this"));
    capture("no-matches");
    EXPECT_TRUE(rows().empty());
}

} // namespace
