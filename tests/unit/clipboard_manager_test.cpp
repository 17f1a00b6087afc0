#include "engine/clipboard_manager.h"

#include "tests/fakes/fake_main_queue.h"
#include "tests/fakes/fake_pasteboard.h"
#include "tests/fakes/fake_queue_factory.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace Qt::StringLiterals;
using Operation = FakePasteboard::Operation;

std::shared_ptr<const platform::Image> solidImage(QColor color, QSize size = QSize(8, 6))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return platform::Image::fromQImage(image);
}

// A PNG whose header is intact but whose pixel data is cut off: it has a size, but no TIFF.
std::shared_ptr<const platform::Image> truncatedImage(int seed)
{
    QImage image(QSize(64, 64), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, static_cast<QRgb>((x * 7919 + y * 104729 + seed) * 2654435761u));
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return platform::Image::fromEncoded(png.left(png.size() / 2));
}

class ClipboardManagerTest : public ::testing::Test
{
protected:
    void SetUp() override { makeManager(); }

    void makeManager()
    {
        manager = ClipboardManager::create(pasteboard, mainQueue, queues);
        changeWatch = manager->objectWillChange().connect([this] {
            notifiedSizes.push_back(static_cast<int>(manager->history().size()));
        });
    }

    FakeTimer& timer() { return *queues.timers().back(); }

    /// One watcher period: a tick, then the main queue's turn.
    void tickAndRun()
    {
        timer().fire();
        mainQueue.runPending();
    }

    void copyAndCapture(const QString& text)
    {
        pasteboard.copyText(text);
        tickAndRun();
    }

    std::vector<std::optional<QString>> texts() const
    {
        std::vector<std::optional<QString>> result;
        for (const auto& item : manager->history()) {
            result.push_back(item.text());
        }
        return result;
    }

    void fillHistory(int count)
    {
        for (int index = 0; index < count; ++index) {
            copyAndCapture(QString::number(index));
        }
        notifiedSizes.clear();
    }

    FakePasteboard pasteboard;
    FakeMainQueue mainQueue;
    FakeQueueFactory queues;
    std::shared_ptr<ClipboardManager> manager;
    platform::Connection changeWatch;
    /// The size of `history` each time observers were told it will change.
    std::vector<int> notifiedSizes;
};

TEST_F(ClipboardManagerTest, StartsTheWatcherOnItsOwnBackgroundQueueTickingEveryHalfSecondFromNow)
{
    const auto before = std::chrono::steady_clock::now();
    makeManager();
    const auto after = std::chrono::steady_clock::now();

    ASSERT_TRUE(timer().schedule());
    EXPECT_EQ(timer().queueLabel(), "com.hollin.velmora.listener");
    EXPECT_EQ(timer().queueQualityOfService(), platform::QualityOfService::Background);
    EXPECT_GE(timer().schedule()->deadline, before);
    EXPECT_LE(timer().schedule()->deadline, after);
    EXPECT_EQ(timer().schedule()->repeating, std::chrono::milliseconds(500));
    EXPECT_EQ(timer().schedule()->leeway, std::chrono::nanoseconds(0));
    EXPECT_TRUE(timer().hasHandler());
    EXPECT_TRUE(timer().isResumed());
}

TEST_F(ClipboardManagerTest, NeverCapturesWhatWasOnThePasteboardWhenBuilt)
{
    pasteboard.copyText("there before");
    makeManager();
    EXPECT_EQ(manager->lastChangeCount(), pasteboard.changeCount());

    tickAndRun();
    tickAndRun();

    EXPECT_TRUE(manager->history().empty());
    EXPECT_EQ(pasteboard.count(Operation::ReadString), 0);
}

TEST_F(ClipboardManagerTest, CapturesOnlyOnTheMainQueueAfterATickSawANewCount)
{
    pasteboard.copyText("hello");
    timer().fire();
    EXPECT_TRUE(manager->history().empty());
    EXPECT_EQ(manager->lastChangeCount(), pasteboard.changeCount());
    EXPECT_EQ(mainQueue.pendingCount(), 1u);

    mainQueue.runPending();
    EXPECT_EQ(texts(), (std::vector<std::optional<QString>>{"hello"}));

    // Nothing new: the next ticks submit nothing.
    timer().fire();
    timer().fire();
    EXPECT_EQ(mainQueue.pendingCount(), 0u);
}

TEST_F(ClipboardManagerTest, CountsASmallerChangeCountAsAChange)
{
    pasteboard.setChangeCount(manager->lastChangeCount() - 5);
    pasteboard.setContent(std::nullopt, "after a reset");
    tickAndRun();
    EXPECT_EQ(texts(), (std::vector<std::optional<QString>>{"after a reset"}));
}

TEST_F(ClipboardManagerTest, TwoCopiesWithinOnePeriodGiveOneEntryWithTheLaterContent)
{
    pasteboard.copyText("first");
    pasteboard.copyText("second");
    tickAndRun();
    EXPECT_EQ(texts(), (std::vector<std::optional<QString>>{"second"}));
}

TEST_F(ClipboardManagerTest, CapturesTheContentAsItIsWhenTheCaptureRuns)
{
    pasteboard.copyText("at the tick");
    timer().fire();
    pasteboard.setContent(std::nullopt, "at the capture");
    mainQueue.runPending();
    EXPECT_EQ(texts(), (std::vector<std::optional<QString>>{"at the capture"}));
}

TEST_F(ClipboardManagerTest, TicksDoNothingOnceTheStoreIsGone)
{
    const auto watcher = queues.timers().back();
    std::weak_ptr<ClipboardManager> weakManager = manager;
    changeWatch.disconnect();
    manager.reset();

    EXPECT_TRUE(weakManager.expired());
    pasteboard.copyText("after the end");
    EXPECT_FALSE(watcher->fire());
    EXPECT_EQ(mainQueue.pendingCount(), 0u);
}

TEST_F(ClipboardManagerTest, ASubmittedCaptureKeepsTheStoreAliveUntilItHasRun)
{
    pasteboard.copyText("in flight");
    timer().fire();
    std::weak_ptr<ClipboardManager> weakManager = manager;
    changeWatch.disconnect();
    manager.reset();
    ASSERT_FALSE(weakManager.expired());

    mainQueue.runPending();

    EXPECT_EQ(pasteboard.count(Operation::ReadString), 1);
    EXPECT_TRUE(weakManager.expired());
}

TEST_F(ClipboardManagerTest, TrimsUnicodeWhiteSpaceAndLineBreaksFromBothEndsOnly)
{
    struct Row
    {
        const char* name;
        QString copied;
        std::optional<QString> stored;
    };
    const std::vector<Row> rows = {
        {"spaces and a line break", "  hello world\n", "hello world"},
        {"tabs and carriage returns", "\t\r\nhello\r\n\t", "hello"},
        {"inner white space is kept", " a \t b\n\nc ", "a \t b\n\nc"},
        {"vertical tab, form feed, NEL", u"\u000B\u000C\u0085x\u0085"_s, "x"},
        {"no-break and other space separators", u"\u00A0\u2003\u3000x\u202F\u205F"_s, "x"},
        {"line and paragraph separators", u"\u2028x\u2029"_s, "x"},
        {"zero width space is not white space", u"\u200Bx"_s, u"\u200Bx"_s},
        {"only white space", u" \t\n\r\u00A0\u2028 "_s, std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        manager->clearHistory();
        notifiedSizes.clear();

        copyAndCapture(row.copied);

        if (row.stored) {
            ASSERT_EQ(manager->history().size(), 1u);
            EXPECT_EQ(manager->history().front().text(), row.stored);
            EXPECT_EQ(manager->history().front().image(), nullptr);
        } else {
            EXPECT_TRUE(manager->history().empty());
            EXPECT_TRUE(notifiedSizes.empty());
        }
    }
}

TEST_F(ClipboardManagerTest, TreatsTextsAsDuplicatesUpToCanonicalEquivalenceAndCase)
{
    struct Row
    {
        const char* name;
        QString first;
        QString second;
        bool duplicate;
    };
    const std::vector<Row> rows = {
        {"same text", "alpha", "alpha", true},
        {"differs only in surrounding white space", "alpha", "  alpha\n", true},
        {"differs in case", "alpha", "Alpha", false},
        {"precomposed and decomposed accent", u"caf\u00E9"_s, u"cafe\u0301"_s, true},
        {"reordered combining marks", u"a\u0323\u0302"_s, u"a\u0302\u0323"_s, true},
        {"compatibility equivalent only", u"\uFB01"_s, "fi", false},
        {"differs in inner white space", "a b", "a  b", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        manager->clearHistory();
        copyAndCapture(row.first);
        copyAndCapture(row.second);

        EXPECT_EQ(manager->history().size(), row.duplicate ? 1u : 2u);
        EXPECT_EQ(manager->history().front().text(), row.second.trimmed());
    }
}

TEST_F(ClipboardManagerTest, MovesContentCopiedAgainToTheFrontAsANewEntry)
{
    copyAndCapture("A");
    const auto firstA = manager->history().front();
    copyAndCapture("B");
    notifiedSizes.clear();

    copyAndCapture("A");

    EXPECT_EQ(texts(), (std::vector<std::optional<QString>>{"A", "B"}));
    EXPECT_NE(manager->history().front(), firstA);
    EXPECT_GE(manager->history().front().timestamp(), firstA.timestamp());
    // Removal, then insertion: each notification comes before its change.
    EXPECT_EQ(notifiedSizes, (std::vector<int>{2, 1}));
}

TEST_F(ClipboardManagerTest, PrefersTheFirstImageOverText)
{
    const auto red = solidImage(Qt::red);
    const auto blue = solidImage(Qt::blue);
    pasteboard.copy(FakePasteboard::Images{red, blue}, "caption");
    tickAndRun();

    ASSERT_EQ(manager->history().size(), 1u);
    EXPECT_EQ(manager->history().front().image(), red);
    EXPECT_FALSE(manager->history().front().text());
    EXPECT_EQ(pasteboard.count(Operation::ReadString), 0);
}

TEST_F(ClipboardManagerTest, FallsBackToTextWhenTheImageListHoldsNoUsablePicture)
{
    struct Row
    {
        const char* name;
        std::optional<FakePasteboard::Images> images;
    };
    const std::vector<Row> rows = {
        {"no list", std::nullopt},
        {"empty list", FakePasteboard::Images{}},
        {"not a picture", FakePasteboard::Images{nullptr}},
        {"a picture and something else", FakePasteboard::Images{solidImage(Qt::red), nullptr}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        manager->clearHistory();
        pasteboard.copy(row.images, "the text");
        tickAndRun();

        EXPECT_EQ(texts(), (std::vector<std::optional<QString>>{"the text"}));
    }
}

TEST_F(ClipboardManagerTest, ComparesImagesByTheirTiffRepresentation)
{
    struct Row
    {
        const char* name;
        std::shared_ptr<const platform::Image> first;
        std::shared_ptr<const platform::Image> second;
        bool duplicate;
    };
    const auto red = solidImage(Qt::red);
    const std::vector<Row> rows = {
        {"the same image object", red, red, true},
        {"equal pictures in distinct objects", solidImage(Qt::green), solidImage(Qt::green), true},
        {"different colours", solidImage(Qt::green), solidImage(Qt::blue), false},
        {"different sizes", solidImage(Qt::green), solidImage(Qt::green, QSize(6, 8)), false},
        {"both without a TIFF", truncatedImage(1), truncatedImage(2), true},
        {"one without a TIFF", truncatedImage(1), solidImage(Qt::red), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.first && row.second);
        manager->clearHistory();
        pasteboard.copyImages(FakePasteboard::Images{row.first});
        tickAndRun();
        pasteboard.copyImages(FakePasteboard::Images{row.second});
        tickAndRun();

        EXPECT_EQ(manager->history().size(), row.duplicate ? 1u : 2u);
        EXPECT_EQ(manager->history().front().image(), row.second);
    }
}

TEST_F(ClipboardManagerTest, NeverTakesATextAndAnImageForDuplicates)
{
    const auto unencodable = truncatedImage(1);
    copyAndCapture("x");
    pasteboard.copyImages(FakePasteboard::Images{unencodable});
    tickAndRun();
    copyAndCapture("x");

    ASSERT_EQ(manager->history().size(), 2u);
    EXPECT_EQ(manager->history().front().text(), "x");
    EXPECT_EQ(manager->history().back().image(), unencodable);
}

TEST_F(ClipboardManagerTest, DropsTheOldestEntryWhenANewContentArrivesInAFullHistory)
{
    fillHistory(ClipboardManager::maxHistory);

    copyAndCapture("new");

    ASSERT_EQ(manager->history().size(), 50u);
    EXPECT_EQ(manager->history().front().text(), "new");
    EXPECT_EQ(manager->history().back().text(), "1");
    // Insertion, then the drop of the last entry.
    EXPECT_EQ(notifiedSizes, (std::vector<int>{50, 51}));
}

TEST_F(ClipboardManagerTest, KeepsTheOldestEntryWhenADuplicateArrivesInAFullHistory)
{
    fillHistory(ClipboardManager::maxHistory);

    copyAndCapture("25");

    ASSERT_EQ(manager->history().size(), 50u);
    EXPECT_EQ(manager->history().front().text(), "25");
    EXPECT_EQ(manager->history().back().text(), "0");
    const auto stored = texts();
    EXPECT_EQ(std::count(stored.begin(), stored.end(), std::optional<QString>("25")), 1);
    EXPECT_EQ(notifiedSizes, (std::vector<int>{50, 49}));
}

TEST_F(ClipboardManagerTest, CopyBackLeavesTheHistoryAloneAndIsNotCapturedAgain)
{
    fillHistory(6);
    const auto before = manager->history();
    const auto chosen = before.at(3);
    pasteboard.clearOperations();

    manager->copyItem(chosen);
    tickAndRun();
    tickAndRun();

    EXPECT_EQ(manager->history(), before);
    EXPECT_TRUE(notifiedSizes.empty());
    EXPECT_EQ(manager->lastChangeCount(), pasteboard.changeCount());
    EXPECT_EQ(pasteboard.count(Operation::ReadImages), 0);
}

TEST_F(ClipboardManagerTest, CopyBackWritesTextFirstAndOneImageOtherwise)
{
    struct Row
    {
        const char* name;
        ClipboardItem item;
        std::vector<Operation> operations;
    };
    const auto image = solidImage(Qt::red);
    const std::vector<Row> rows = {
        {"text", ClipboardItem(QString("stored"), nullptr), {Operation::ClearContents, Operation::SetString}},
        {"image", ClipboardItem(std::nullopt, image), {Operation::ClearContents, Operation::WriteObjects}},
        {"both", ClipboardItem(QString("stored"), image), {Operation::ClearContents, Operation::SetString}},
        {"neither", ClipboardItem(std::nullopt, nullptr), {Operation::ClearContents}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        pasteboard.copyText("someone else's");
        pasteboard.clearOperations();

        manager->copyItem(row.item);

        EXPECT_EQ(pasteboard.operations(), row.operations);
        EXPECT_EQ(pasteboard.text(), row.item.text());
        const auto expectedImages = row.operations.back() == Operation::WriteObjects
            ? std::optional(FakePasteboard::Images{image})
            : std::nullopt;
        EXPECT_EQ(pasteboard.images(), expectedImages);
        EXPECT_EQ(manager->lastChangeCount(), pasteboard.changeCount());
    }
}

TEST_F(ClipboardManagerTest, ClearingNotifiesOnceKeepsTheSearchAndWaitsForANewCopy)
{
    copyAndCapture("kept on the pasteboard");
    manager->setSearchText("kept");
    notifiedSizes.clear();

    manager->clearHistory();
    EXPECT_TRUE(manager->history().empty());
    EXPECT_EQ(notifiedSizes, (std::vector<int>{1}));
    EXPECT_EQ(manager->searchText(), "kept");

    tickAndRun();
    EXPECT_TRUE(manager->history().empty());

    copyAndCapture("kept on the pasteboard");
    EXPECT_EQ(manager->history().size(), 1u);
}

} // namespace
