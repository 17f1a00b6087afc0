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
using Texts = std::vector<std::optional<QString>>;

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

    void copyAndCapture(std::optional<platform::Clipboard::Images> images, std::optional<QString> text)
    {
        clipboard.copy(std::move(images), std::move(text));
        tickAndRun();
    }

    Texts texts() const
    {
        Texts result;
        for (const auto& item : manager->history()) {
            result.push_back(item.text());
        }
        return result;
    }

    void fillHistory(int count)
    {
        for (int index = 0; index < count; ++index) {
            copyAndCapture(std::nullopt, QString::number(index));
        }
        notifiedSizes.clear();
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
    EXPECT_EQ(clipboard.count(FakeClipboard::Operation::ReadText), 0);

    clipboard.copyText("first");
    clipboard.copyText("second");
    timers.fire();
    EXPECT_TRUE(manager->history().empty());
    EXPECT_EQ(eventLoop.pendingCount(), 1u);

    clipboard.setContent(std::nullopt, "after the tick");
    eventLoop.runPending();
    EXPECT_EQ(texts(), Texts{"second"});

    timers.fire();
    EXPECT_EQ(eventLoop.pendingCount(), 0u);

    // A smaller count is a change too.
    clipboard.setChangeCount(manager->lastChangeCount() - 5);
    clipboard.setContent(std::nullopt, "after a reset");
    tickAndRun();
    EXPECT_EQ(texts(), (Texts{"after a reset", "second"}));
}

TEST_F(ClipboardManagerTest, CapturesEachReportedChangeAtOnceAndTheTimerDoesNotCaptureItAgain)
{
    for (const char* text : {"first", "second", "third"}) {
        clipboard.copyText(text);
        clipboard.reportChange();
        EXPECT_EQ(eventLoop.runPending(), 1u);
    }
    EXPECT_EQ(texts(), (Texts{"third", "second", "first"}));

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
    EXPECT_EQ(clipboard.count(FakeClipboard::Operation::ReadText), 1);
    EXPECT_TRUE(weakManager.expired());
    EXPECT_TRUE(timers.timers().empty());
}

TEST_F(ClipboardManagerTest, TrimsUnicodeWhiteSpaceAndLineBreaksFromBothEndsOnly)
{
    const struct
    {
        const char* name;
        QString copied;
        std::optional<QString> stored;
    } rows[] = {
        {"inner white space is kept", " \t\r\na \t b\n\nc \r\n\t", "a \t b\n\nc"},
        {"vertical tab, form feed, NEL, line and paragraph separators", u"\u000B\u2028\u000Cx\u0085\u2029"_s, "x"},
        {"no-break and other space separators", u"\u00A0\u2003\u3000x\u202F\u205F"_s, "x"},
        {"zero width space is not white space", u"\u200Bx"_s, u"\u200Bx"_s},
        {"only white space", u" \t\n\r\u00A0\u2028 "_s, std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        manager->clearHistory();
        notifiedSizes.clear();

        copyAndCapture(std::nullopt, row.copied);

        EXPECT_EQ(texts(), row.stored ? Texts{row.stored} : Texts{});
        EXPECT_EQ(notifiedSizes.empty(), !row.stored);
    }
}

TEST_F(ClipboardManagerTest, TakesTheSameTextUpToCanonicalEquivalenceOrTheSameTiffForADuplicate)
{
    using Images = platform::Clipboard::Images;
    struct Content
    {
        std::optional<Images> images;
        std::optional<QString> text;
    };
    const struct
    {
        const char* name;
        Content first;
        Content second;
        bool duplicate;
    } rows[] = {
        {"same text but for surrounding white space", {{}, "alpha"}, {{}, "  alpha\n"}, true},
        {"differs in case", {{}, "alpha"}, {{}, "Alpha"}, false},
        {"precomposed and decomposed accent", {{}, u"caf\u00E9"_s}, {{}, u"cafe\u0301"_s}, true},
        {"reordered combining marks", {{}, u"a\u0323\u0302"_s}, {{}, u"a\u0302\u0323"_s}, true},
        {"compatibility equivalent only", {{}, u"\uFB01"_s}, {{}, "fi"}, false},
        {"differs in inner white space", {{}, "a b"}, {{}, "a  b"}, false},
        {"equal pictures", {Images{solidImage(Qt::green)}, {}}, {Images{solidImage(Qt::green)}, {}}, true},
        {"different pictures", {Images{solidImage(Qt::green)}, {}}, {Images{solidImage(Qt::blue)}, {}}, false},
        {"two different without a TIFF", {Images{unencodableImage(2)}, {}}, {Images{unencodableImage(3)}, {}}, false},
        {"one without a TIFF twice", {Images{unencodableImage(2)}, {}}, {Images{unencodableImage(2)}, {}}, true},
        {"a text, then an image without a TIFF", {{}, "x"}, {Images{unencodableImage(1)}, {}}, false},
        {"an image without a TIFF, then a text", {Images{unencodableImage(1)}, {}}, {{}, "x"}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        manager->clearHistory();
        copyAndCapture(row.first.images, row.first.text);
        copyAndCapture(row.second.images, row.second.text);

        ASSERT_EQ(manager->history().size(), row.duplicate ? 1u : 2u);
        const auto& front = manager->history().front();
        EXPECT_EQ(front.text(), row.second.text ? std::optional(row.second.text->trimmed()) : std::nullopt);
        EXPECT_EQ(front.image(), row.second.images ? row.second.images->front() : nullptr);
    }
}

TEST_F(ClipboardManagerTest, PrefersTheFirstPictureAndFallsBackToTextWhenThereIsNone)
{
    const auto red = solidImage(Qt::red);
    const struct
    {
        const char* name;
        std::optional<platform::Clipboard::Images> images;
        std::shared_ptr<const platform::Image> stored;
    } rows[] = {
        {"two pictures", platform::Clipboard::Images{red, solidImage(Qt::blue)}, red},
        {"no list", std::nullopt, nullptr},
        {"empty list", platform::Clipboard::Images{}, nullptr},
        {"not a picture", platform::Clipboard::Images{nullptr}, nullptr},
        {"a picture and something else", platform::Clipboard::Images{red, nullptr}, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        manager->clearHistory();
        copyAndCapture(row.images, "the text");

        ASSERT_EQ(manager->history().size(), 1u);
        EXPECT_EQ(manager->history().front().image(), row.stored);
        EXPECT_EQ(manager->history().front().text(), row.stored ? std::nullopt : std::optional<QString>("the text"));
    }
}

TEST_F(ClipboardManagerTest, KeepsFiftyEntriesMovingADuplicateToTheFrontAsANewEntry)
{
    fillHistory(ClipboardManager::maxHistory);

    copyAndCapture(std::nullopt, "new");
    ASSERT_EQ(manager->history().size(), 50u);
    EXPECT_EQ(texts().front(), "new");
    EXPECT_EQ(texts().back(), "1");
    // Insertion, then the drop of the last entry: each notification comes before its change.
    EXPECT_EQ(notifiedSizes, (std::vector<int>{50, 51}));

    const auto old = manager->history().at(25);
    notifiedSizes.clear();
    copyAndCapture(std::nullopt, old.text());
    ASSERT_EQ(manager->history().size(), 50u);
    EXPECT_EQ(texts().front(), old.text());
    EXPECT_NE(manager->history().front(), old);
    EXPECT_EQ(texts().back(), "1");
    // Removal, then insertion.
    EXPECT_EQ(notifiedSizes, (std::vector<int>{50, 49}));
}

} // namespace
