#include "engine/clipboard_manager.h"

#include "tests/fakes/fake_background_timers.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using Images = platform::Clipboard::Images;

std::shared_ptr<const platform::Image> solidImage(QColor color)
{
    QImage image(QSize(8, 6), QImage::Format_RGB32);
    image.fill(color);
    return platform::Image::fromQImage(image);
}

// A header announcing a picture whose pixels are missing: it has a size, but no TIFF.
std::shared_ptr<const platform::Image> unencodableImage(int seed)
{
    return platform::Image::fromEncoded("P6\n64 64\n255\n" + QByteArray::number(seed));
}

/// What a copy offers, or what an entry holds (its picture as a list of one).
struct Content
{
    std::optional<Images> images;
    std::optional<QString> text;
    friend bool operator==(const Content&, const Content&) = default;
};

Content text(const QString& text)
{
    return {std::nullopt, text};
}

Content picture(std::shared_ptr<const platform::Image> image)
{
    return {Images{std::move(image)}, std::nullopt};
}

class ClipboardManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clipboard.copyText("there before");
        manager = ClipboardManager::create(clipboard, eventLoop, timers);
        changeWatch = manager->objectWillChange().connect(
            [this] { notifiedSizes.push_back(static_cast<int>(manager->history().size())); });
    }

    /// One watcher period: a tick, then the event loop's turn.
    void tickAndRun()
    {
        timers.fire();
        eventLoop.runPending();
    }

    void copyAndCapture(const Content& content)
    {
        clipboard.copy(content.images, content.text);
        tickAndRun();
    }

    /// The history, newest first.
    [[nodiscard]] std::vector<Content> stored() const
    {
        std::vector<Content> result;
        for (const auto& item : manager->history()) {
            result.push_back(item.image() ? picture(item.image()) : Content{std::nullopt, item.text()});
        }
        return result;
    }

    FakeClipboard clipboard;
    FakeEventLoop eventLoop;
    FakeBackgroundTimers timers;
    std::shared_ptr<ClipboardManager> manager;
    Connection changeWatch;
    /// The size of `history` each time observers were told it will change.
    std::vector<int> notifiedSizes;
};

TEST_F(ClipboardManagerTest, ReadsWhenATickSeesAnotherCountThanWhenBuiltAndAddsFromTheEventLoop)
{
    ASSERT_EQ(timers.timers().size(), 1u);
    EXPECT_EQ(timers.timers()[0]->threadName, "com.hollin.velmora.listener");
    EXPECT_EQ(timers.timers()[0]->interval, std::chrono::milliseconds(500));
    tickAndRun();
    EXPECT_EQ(clipboard.textReads(), 0);

    clipboard.copyText("first");
    clipboard.copyText("second");
    timers.fire();
    EXPECT_TRUE(manager->history().empty());
    EXPECT_EQ(eventLoop.pendingCount(), 1u);

    clipboard.setContent(std::nullopt, "after the tick");
    eventLoop.runPending();
    EXPECT_EQ(stored(), std::vector{text("second")});

    timers.fire();
    EXPECT_EQ(eventLoop.pendingCount(), 0u);

    // A smaller count is a change too.
    clipboard.setChangeCount(manager->lastChangeCount() - 5);
    clipboard.setContent(std::nullopt, "after a reset");
    tickAndRun();
    EXPECT_EQ(stored(), (std::vector{text("after a reset"), text("second")}));
}

TEST_F(ClipboardManagerTest, CapturesEachReportedChangeAtOnceAndTheTimerDoesNotCaptureItAgain)
{
    for (const char* copied : {"first", "second"}) {
        clipboard.copyText(copied);
        clipboard.reportChange();
        EXPECT_EQ(eventLoop.runPending(), 1u);
    }
    EXPECT_EQ(stored(), (std::vector{text("second"), text("first")}));

    timers.fire();
    clipboard.reportChange();
    EXPECT_EQ(eventLoop.pendingCount(), 0u);
}

TEST_F(ClipboardManagerTest, ACaptureInFlightKeepsTheStoreAliveAndItsTimerGoesWithIt)
{
    const std::weak_ptr<ClipboardManager> weakManager = manager;
    clipboard.copyText("in flight");
    timers.fire();
    changeWatch.disconnect();
    manager.reset();
    ASSERT_FALSE(weakManager.expired());

    eventLoop.runPending();
    EXPECT_EQ(clipboard.textReads(), 1);
    EXPECT_TRUE(weakManager.expired());
    EXPECT_TRUE(timers.timers().empty());
}

// Texts are trimmed of Unicode white space and line breaks and compared up to canonical equivalence;
// pictures are compared as their TIFF would be.
TEST_F(ClipboardManagerTest, StoresTheTrimmedTextOrTheFirstPictureOfEachCopyOnceNewestFirst)
{
    const auto red = solidImage(Qt::red);
    const auto green = solidImage(Qt::green);
    const auto greenAgain = solidImage(Qt::green);
    const auto blue = solidImage(Qt::blue);
    const std::vector<std::shared_ptr<const platform::Image>> broken{unencodableImage(1), unencodableImage(1),
                                                                     unencodableImage(2)};
    const struct
    {
        const char* name;
        std::vector<Content> copies;
        std::vector<Content> stored;
    } rows[] = {
        {"inner white space is kept", {text(" \t\r\na \t b\n\nc \r\n\t")}, {text("a \t b\n\nc")}},
        {"vertical tab, form feed, NEL, line and paragraph separators",
         {text(u"\u000B\u2028\u000Cx\u0085\u2029"_s)},
         {text("x")}},
        {"no-break and other space separators", {text(u"\u00A0\u2003\u3000x\u202F\u205F"_s)}, {text("x")}},
        {"zero width space is not white space", {text(u"\u200Bx"_s)}, {text(u"\u200Bx"_s)}},
        {"only white space", {text(u" \t\n\r\u00A0\u2028 "_s)}, {}},
        {"empty", {text("")}, {}},
        {"same text but for surrounding white space", {text("alpha"), text("  alpha\n")}, {text("alpha")}},
        {"differs in case", {text("alpha"), text("Alpha")}, {text("Alpha"), text("alpha")}},
        {"precomposed and decomposed accent", {text(u"caf\u00E9"_s), text(u"cafe\u0301"_s)}, {text(u"cafe\u0301"_s)}},
        {"reordered combining marks", {text(u"a\u0323\u0302"_s), text(u"a\u0302\u0323"_s)}, {text(u"a\u0302\u0323"_s)}},
        {"compatibility equivalent only", {text(u"\uFB01"_s), text("fi")}, {text("fi"), text(u"\uFB01"_s)}},
        {"differs in inner white space", {text("a b"), text("a  b")}, {text("a  b"), text("a b")}},
        {"equal pictures", {picture(green), picture(greenAgain)}, {picture(greenAgain)}},
        {"different pictures", {picture(green), picture(blue)}, {picture(blue), picture(green)}},
        {"two different without a TIFF",
         {picture(broken[0]), picture(broken[2])},
         {picture(broken[2]), picture(broken[0])}},
        {"one without a TIFF twice", {picture(broken[0]), picture(broken[1])}, {picture(broken[1])}},
        {"a text, then an image without a TIFF", {text("x"), picture(broken[0])}, {picture(broken[0]), text("x")}},
        {"an image without a TIFF, then a text", {picture(broken[0]), text("x")}, {text("x"), picture(broken[0])}},
        {"two pictures and a text", {{Images{red, blue}, "the text"}}, {picture(red)}},
        {"no list of pictures", {{std::nullopt, "the text"}}, {text("the text")}},
        {"empty list of pictures", {{Images{}, "the text"}}, {text("the text")}},
        {"not a picture", {{Images{nullptr}, "the text"}}, {text("the text")}},
        {"a picture and something else", {{Images{red, nullptr}, "the text"}}, {text("the text")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        manager->clearHistory();
        notifiedSizes.clear();
        for (const auto& copy : row.copies) {
            copyAndCapture(copy);
        }
        EXPECT_EQ(stored(), row.stored);
        EXPECT_EQ(notifiedSizes.empty(), row.stored.empty());
    }
}

TEST_F(ClipboardManagerTest, KeepsFiftyEntriesMovingADuplicateToTheFrontAsANewEntry)
{
    for (int index = 0; index < ClipboardManager::maxHistory; ++index) {
        copyAndCapture(text(QString::number(index)));
    }
    notifiedSizes.clear();
    copyAndCapture(text("new"));
    ASSERT_EQ(manager->history().size(), 50u);
    EXPECT_EQ(stored().front(), text("new"));
    EXPECT_EQ(stored().back(), text("1"));
    // Insertion, then the drop of the last entry: each notification comes before its change.
    EXPECT_EQ(notifiedSizes, (std::vector<int>{50, 51}));

    const auto old = manager->history().at(25);
    notifiedSizes.clear();
    copyAndCapture(text(*old.text()));
    ASSERT_EQ(manager->history().size(), 50u);
    EXPECT_EQ(stored().front(), text(*old.text()));
    EXPECT_NE(manager->history().front(), old);
    EXPECT_EQ(stored().back(), text("1"));
    // Removal, then insertion.
    EXPECT_EQ(notifiedSizes, (std::vector<int>{50, 49}));
}

} // namespace
