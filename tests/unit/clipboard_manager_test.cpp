#include "engine/clipboard_manager.h"

#include "tests/fakes/store_on_fakes.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using Images = platform::Clipboard::Images;

std::shared_ptr<const platform::Image> solidImage(QColor color, const char* format = "png", QSize size = {8, 6})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return platform::Image::fromEncoded(platform::encodeImage(image, format).value_or(QByteArray()));
}

// What a copy offers, or what an entry holds (its picture as a list of one).
using Content = std::pair<std::optional<Images>, std::optional<QString>>;

const auto text = [](const QString& value) { return Content{std::nullopt, value}; };
const auto picture = [](const std::shared_ptr<const platform::Image>& image) { return Content{Images{image}, {}}; };

class ClipboardManagerTest : public ::testing::Test, protected StoreOnFakes
{
protected:
    // One watcher period: a tick, then the event loop's turn.
    void copyAndCapture(const Content& content)
    {
        clipboard.copy(content.first, content.second);
        capture();
    }

    // The history, newest first.
    [[nodiscard]] std::vector<Content> stored() const
    {
        std::vector<Content> result;
        for (const auto& item : manager->history()) {
            result.push_back(item.image() ? picture(item.image()) : Content{std::nullopt, item.text()});
        }
        return result;
    }
};

TEST_F(ClipboardManagerTest, ReadsEachChangeOnceOnATickOrAReport)
{
    capture();
    EXPECT_EQ(clipboard.textReads(), 0);
    clipboard.copyText("first");
    clipboard.copyText("second");
    timers.fire();
    clipboard.setContent(std::nullopt, "after the tick");
    eventLoop.runPending();
    // A smaller count is a change too.
    clipboard.setChangeCount(manager->lastChangeCount() - 5);
    copyAndCapture(text("after a reset"));
    clipboard.copyText("reported");
    clipboard.reportChange();
    eventLoop.runPending();
    EXPECT_EQ(stored(), (std::vector{text("reported"), text("after a reset"), text("second")}));
    timers.fire();
    clipboard.reportChange();
    EXPECT_EQ(eventLoop.pendingCount(), 0u);
}

TEST_F(ClipboardManagerTest, ACaptureInFlightKeepsTheStoreAlive)
{
    const std::weak_ptr<ClipboardManager> weakManager = manager;
    clipboard.copyText("in flight");
    timers.fire();
    manager.reset();
    ASSERT_FALSE(weakManager.expired());
    eventLoop.runPending();
    EXPECT_TRUE(weakManager.expired());
    EXPECT_TRUE(timers.timers().empty());
}

// Texts are trimmed of Unicode white space and compared up to canonical equivalence; pictures as their TIFF.
TEST_F(ClipboardManagerTest, StoresEachCopyOnceNewestFirst)
{
    const auto red = solidImage(Qt::red);
    const auto green = solidImage(Qt::green);
    const auto blue = solidImage(Qt::blue);
    const auto greenBmp = solidImage(Qt::green, "bmp");
    // A header announcing a picture whose pixels are missing: it has a size, but no TIFF.
    const auto broken = platform::Image::fromEncoded("P6\n64 64\n255\n");
    // Long texts are composed piece by piece; pieces must neither part a letter from its marks nor a Hangul
    // syllable from its final consonant.
    const auto decomposed = u"Cafe\u0301"_s.repeated(3000);
    auto oneGrave = decomposed;
    oneGrave[7504] = QChar(0x300);
    const auto hangul = u"\uAC01"_s.repeated(2000);
    // Name, copies, the history they leave.
    const std::tuple<const char*, std::vector<Content>, std::vector<Content>> rows[] = {
        {"Unicode white space around", {text(u"\u2028\u00A0 a \t b\n\nc\r\n\u0085"_s)}, {text("a \t b\n\nc")}},
        {"only white space", {text(u" \t\n\u2028 "_s)}, {}},
        {"differs in case", {text("alpha"), text("Alpha")}, {text("Alpha"), text("alpha")}},
        {"long, precomposed and decomposed",
         {text(decomposed), text(u"Caf\u00E9"_s.repeated(3000))},
         {text(u"Caf\u00E9"_s.repeated(3000))}},
        {"long, but for one accent", {text(decomposed), text(oneGrave)}, {text(oneGrave), text(decomposed)}},
        {"long Hangul, in jamo and in syllables",
         {text(u"\u1100\u1161\u11A8"_s.repeated(1000) + u"\uAC00\u11A8"_s.repeated(1000)), text(hangul)},
         {text(hangul)}},
        {"compatibility equivalent only", {text(u"\uFB01"_s), text("fi")}, {text("fi"), text(u"\uFB01"_s)}},
        {"the same picture in other bytes",
         {picture(green), picture(blue), picture(greenBmp)},
         {picture(greenBmp), picture(blue)}},
        {"a text, then an image without a TIFF", {text("x"), picture(broken)}, {picture(broken), text("x")}},
        {"two pictures and a text", {{Images{red, blue}, "the text"}}, {picture(red)}},
        {"a picture and something else", {{Images{red, nullptr}, "the text"}}, {text("the text")}},
    };
    for (const auto& [name, copies, history] : rows) {
        SCOPED_TRACE(name);
        manager->clearHistory();
        for (const auto& copy : copies) {
            copyAndCapture(copy);
        }
        EXPECT_EQ(stored(), history);
    }
    // An entry that never came through the watcher is compared all the same.
    manager->setHistory({{u"cafe\u0301"_s, nullptr}});
    copyAndCapture(text(u"caf\u00E9"_s));
    EXPECT_EQ(stored(), std::vector{text(u"caf\u00E9"_s)});
}

// Each step of a change is announced once, before it is made: the tester checks each announcement against
// the rows around it, before and after the step.
TEST_F(ClipboardManagerTest, KeepsFiftyEntriesMovesARepeatToTheFrontAndAnnouncesEachStepBeforeMakingIt)
{
    const QAbstractItemModelTester tester(manager.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    // The history's size when each reset was announced.
    std::vector<std::size_t> resets;
    QObject::connect(manager.get(), &ClipboardManager::modelAboutToBeReset, manager.get(),
                     [&] { resets.push_back(manager->history().size()); });
    for (int index = 0; index < 50; ++index) {
        copyAndCapture(text(QString::number(index)));
    }
    const auto old = manager->history().at(24);
    copyAndCapture(text("  25\n"));
    // A new entry for the repeat, with the old one's content.
    EXPECT_NE(manager->history().front(), old);
    EXPECT_EQ(manager->history().front().content(), old.content());
    copyAndCapture(text("new"));
    copyAndCapture(text(" \t "));
    std::vector expected{text("new"), text("25")};
    for (int index = 49; index > 0; --index) {
        if (index != 25) {
            expected.push_back(text(QString::number(index)));
        }
    }
    EXPECT_EQ(stored(), expected);
    manager->setSearchText("kept");
    manager->clearHistory();
    EXPECT_EQ(resets, std::vector<std::size_t>{50});
    EXPECT_TRUE(manager->history().empty());
    EXPECT_EQ(manager->searchText(), "kept");
}

// A text of 2^20 letters holds 3 MiB (UTF-16 and a UTF-8 search key); a 1024 x 1024 BMP 3 MiB and a thumbnail.
TEST_F(ClipboardManagerTest, DropsTheOldestEntriesPastTheContentBudget)
{
    manager = ClipboardManager::create(clipboard, eventLoop, timers, 10 << 20);
    const auto megaText = [](char letter, int mebibytes) { return text(QString(mebibytes << 20, QChar(letter))); };
    const auto red = solidImage(Qt::red, "bmp", {1024, 1024});
    const auto blue = solidImage(Qt::blue, "bmp", {1024, 1024});
    for (const auto& copy : {megaText('a', 1), picture(red), megaText('b', 1), picture(blue)}) {
        copyAndCapture(copy);
    }
    // Compared as booleans: a failure must not print megabytes.
    EXPECT_TRUE(stored() == (std::vector{picture(blue), megaText('b', 1), picture(red)}));
    // The newest copy stays, alone, even past the budget; a small one after it is kept before it.
    copyAndCapture(megaText('c', 4));
    EXPECT_TRUE(stored() == std::vector{megaText('c', 4)});
    copyAndCapture(text("small"));
    EXPECT_TRUE(stored() == std::vector{text("small")});
}

} // namespace
