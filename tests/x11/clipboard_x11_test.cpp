// The engine on a real X server, with xclip and a misbehaving X client as the other applications.

#include "engine/clipboard_manager.h"
#include "platform/qt_main_queue.h"
#include "platform/qt_pasteboard.h"
#include "platform/thread_queue.h"

#include <QBuffer>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#ifdef __SANITIZE_THREAD__
// Qt and libxcb are not instrumented: the thread sanitizer cannot see how Qt's X event thread hands
// replies to the GUI thread and reports races inside them, and QProcess's child trips its check for
// threads after fork before it execs. Races between our own threads are still reported.
extern "C" const char* __tsan_default_options()
{
    return "die_after_fork=0";
}

extern "C" const char* __tsan_default_suppressions()
{
    return "race:libxcb.so.1\n";
}
#endif

namespace {

using namespace std::chrono_literals;

QByteArray encodePng(const QImage& image, int quality = -1)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(quality);
    writer.write(image);
    return png;
}

QImage gradient(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            line[x] = qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff);
        }
    }
    return image;
}

/// The longest time the event loop went without a turn while it lived: how long the GUI thread was blocked.
class StallMeter
{
public:
    StallMeter()
    {
        m_turns.setInterval(10);
        QObject::connect(&m_turns, &QTimer::timeout, &m_turns, [this] {
            m_longest = std::max(m_longest, m_clock.elapsed() - m_lastTurn);
            m_lastTurn = m_clock.elapsed();
        });
        m_clock.start();
        m_turns.start();
    }

    [[nodiscard]] qint64 longestMilliseconds() const { return m_longest; }

private:
    QTimer m_turns;
    QElapsedTimer m_clock;
    qint64 m_lastTurn = 0;
    qint64 m_longest = 0;
};

class ClipboardX11Test : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (auto& owner : m_owners) {
            owner->kill();
            owner->waitForFinished(2000);
        }
    }

    void makeManager() { manager = ClipboardManager::create(pasteboard, mainQueue, queues); }

    /// Puts `data` on the clipboard as xclip does, and waits until the X server says xclip owns it.
    void copyWithXclip(const QByteArray& data, const QString& target = {})
    {
        QStringList arguments{"-selection", "clipboard", "-i"};
        if (!target.isEmpty()) {
            arguments << "-t" << target;
        }
        QProcess xclip;
        xclip.start("xclip", arguments);
        ASSERT_TRUE(xclip.waitForStarted(5000));
        xclip.write(data);
        xclip.closeWriteChannel();
        // xclip goes to the background once it has read its input.
        ASSERT_TRUE(xclip.waitForFinished(20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return readWithXclip("TARGETS").contains(target.isEmpty() ? "UTF8_STRING" : target.toLatin1()); }, 5000));
    }

    /// What xclip reads from the clipboard, while our event loop runs to answer it if we own the clipboard.
    QByteArray readWithXclip(const QString& target = {})
    {
        QStringList arguments{"-selection", "clipboard", "-o"};
        if (!target.isEmpty()) {
            arguments << "-t" << target;
        }
        QProcess xclip;
        xclip.start("xclip", arguments);
        if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000)) {
            xclip.kill();
            xclip.waitForFinished();
            return {};
        }
        return xclip.readAllStandardOutput();
    }

    /// Starts the misbehaving owner in `mode` and waits until it owns the clipboard.
    void startOwner(const QString& mode)
    {
        auto owner = std::make_unique<QProcess>();
        owner->start(VELMORA_CLIPBOARD_OWNER, {mode});
        ASSERT_TRUE(owner->waitForReadyRead(5000));
        ASSERT_EQ(owner->readLine().trimmed(), "ready");
        m_owners.push_back(std::move(owner));
    }

    bool waitForHistorySize(std::size_t size, int milliseconds = 3000)
    {
        return QTest::qWaitFor([&] { return manager->history().size() == size; }, milliseconds);
    }

    /// Lets the watcher tick a few times.
    static void runWatcher(std::chrono::milliseconds duration = 1200ms)
    {
        QTest::qWait(static_cast<int>(duration.count()));
    }

    platform::QtPasteboard pasteboard;
    platform::QtMainQueue mainQueue;
    platform::ThreadQueueFactory queues;
    std::shared_ptr<ClipboardManager> manager;

private:
    std::vector<std::unique_ptr<QProcess>> m_owners;
};

TEST_F(ClipboardX11Test, CapturesATextCopiedByAnotherApplicationTrimmedWithinASecond)
{
    makeManager();
    QElapsedTimer elapsed;
    elapsed.start();
    copyWithXclip("  copied by xclip\n\n");

    ASSERT_TRUE(waitForHistorySize(1, 1500));
    EXPECT_LT(elapsed.elapsed(), 1500);
    EXPECT_EQ(manager->history().front().text(), "copied by xclip");
}

TEST_F(ClipboardX11Test, CapturesAPngAsAnImageEntry)
{
    makeManager();
    const auto picture = gradient(QSize(320, 200));
    copyWithXclip(encodePng(picture), "image/png");

    ASSERT_TRUE(waitForHistorySize(1));
    const auto& entry = manager->history().front();
    ASSERT_TRUE(entry.image());
    EXPECT_FALSE(entry.text());
    EXPECT_EQ(entry.image()->size(), QSize(320, 200));
    EXPECT_EQ(entry.image()->toQImage().convertToFormat(QImage::Format_RGB32), picture);
}

TEST_F(ClipboardX11Test, DoesNotCaptureWhatWasOnTheClipboardWhenTheStoreWasBuilt)
{
    copyWithXclip("there before");
    runWatcher(300ms);
    makeManager();
    runWatcher();
    EXPECT_TRUE(manager->history().empty());

    copyWithXclip("copied after");
    ASSERT_TRUE(waitForHistorySize(1));
    EXPECT_EQ(manager->history().front().text(), "copied after");
}

TEST_F(ClipboardX11Test, CopiesATextBackAsPlainTextAndDoesNotCaptureItAgain)
{
    makeManager();
    copyWithXclip("  first\n");
    ASSERT_TRUE(waitForHistorySize(1));
    copyWithXclip("second");
    ASSERT_TRUE(waitForHistorySize(2));
    const auto before = manager->history();
    const auto countBefore = pasteboard.changeCount();

    manager->copyItem(before.back());

    // Our own content is read straight from Qt, not through the X server.
    EXPECT_EQ(pasteboard.string(), "first");
    EXPECT_EQ(readWithXclip(), "first");
    const auto targets = readWithXclip("TARGETS");
    EXPECT_TRUE(targets.contains("UTF8_STRING"));
    EXPECT_FALSE(targets.contains("image/"));
    runWatcher();
    EXPECT_EQ(manager->history(), before);
    // Our own write counts once, whatever Qt reports about the owner it replaced.
    EXPECT_EQ(pasteboard.changeCount(), countBefore + 1);
    EXPECT_EQ(manager->lastChangeCount(), pasteboard.changeCount());
}

TEST_F(ClipboardX11Test, CopiesAnImageBackAsPictureFormsOnly)
{
    makeManager();
    const auto picture = gradient(QSize(64, 48));
    copyWithXclip(encodePng(picture), "image/png");
    ASSERT_TRUE(waitForHistorySize(1));
    copyWithXclip("a text after it");
    ASSERT_TRUE(waitForHistorySize(2));
    const auto before = manager->history();

    manager->copyItem(before.back());

    const auto ownImages = pasteboard.readImages();
    ASSERT_TRUE(ownImages && ownImages->size() == 1);
    EXPECT_EQ(ownImages->front(), before.back().image());
    EXPECT_FALSE(pasteboard.string());
    const auto targets = readWithXclip("TARGETS");
    EXPECT_TRUE(targets.contains("image/png"));
    for (const auto& text : {"UTF8_STRING", "STRING", "TEXT", "text/plain"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(targets.contains(text));
    }
    const auto png = readWithXclip("image/png");
    EXPECT_EQ(QImage::fromData(png).convertToFormat(QImage::Format_RGB32), picture);
    runWatcher();
    EXPECT_EQ(manager->history(), before);
}

TEST_F(ClipboardX11Test, CapturesTheNextCopyOfAnotherApplicationAfterACopyBack)
{
    makeManager();
    copyWithXclip("mine");
    ASSERT_TRUE(waitForHistorySize(1));
    manager->copyItem(manager->history().front());
    runWatcher(600ms);

    copyWithXclip("theirs");
    ASSERT_TRUE(waitForHistorySize(2));
    EXPECT_EQ(manager->history().front().text(), "theirs");
}

TEST_F(ClipboardX11Test, ReplacesInvalidUtf8WithoutLosingTheRest)
{
    makeManager();
    copyWithXclip("valid \xff\xfe then \xc3 more");
    ASSERT_TRUE(waitForHistorySize(1));
    EXPECT_EQ(manager->history().front().text(), QString::fromUtf8("valid \xff\xfe then \xc3 more"));
    EXPECT_TRUE(manager->history().front().text()->contains(QChar::ReplacementCharacter));
}

TEST_F(ClipboardX11Test, CapturesATextOfFiftyMegabytes)
{
    makeManager();
    QByteArray text;
    text.reserve(50 * 1024 * 1024);
    while (text.size() < 50 * 1024 * 1024) {
        text += "the quick brown fox jumps over the lazy dog ";
        text += QByteArray::number(text.size());
        text += '\n';
    }
    copyWithXclip(text);

    ASSERT_TRUE(waitForHistorySize(1, 10000));
    EXPECT_EQ(manager->history().front().text()->size(), QString::fromLatin1(text).trimmed().size());
}

TEST_F(ClipboardX11Test, FallsBackToTextWhenTheOfferedPictureIsGarbage)
{
    makeManager();
    startOwner("garbage-image");

    ASSERT_TRUE(waitForHistorySize(1));
    EXPECT_EQ(manager->history().front().text(), "the text beside a broken picture");
}

TEST_F(ClipboardX11Test, CapturesAPictureOfEightThousandPixelsSquare)
{
    makeManager();
    QImage picture(QSize(8000, 8000), QImage::Format_RGB32);
    picture.fill(QColor(40, 90, 160));
    copyWithXclip(encodePng(picture), "image/png");
    ASSERT_TRUE(waitForHistorySize(1, 10000));
    EXPECT_EQ(manager->history().front().image()->size(), QSize(8000, 8000));

    // The same picture in other bytes is a duplicate by its TIFF encoding, which needs it decoded.
    const auto first = manager->history().front();
    const StallMeter stalls;
    copyWithXclip(encodePng(picture, 50), "image/png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->history().front() != first; }, 20000));
    EXPECT_EQ(manager->history().size(), 1u);
    RecordProperty("longestStallMilliseconds", static_cast<int>(stalls.longestMilliseconds()));
}

struct MisbehavingOwner
{
    const char* mode;
};

class ClipboardMisbehavingOwnerTest : public ClipboardX11Test, public ::testing::WithParamInterface<MisbehavingOwner>
{
};

TEST_P(ClipboardMisbehavingOwnerTest, NeverStallsTheEventLoopForTwoSecondsAndCapturesTheNextCopy)
{
    makeManager();
    std::optional<StallMeter> stalls(std::in_place);
    startOwner(GetParam().mode);
    runWatcher(2500ms);
    const auto longestStall = stalls->longestMilliseconds();
    stalls.reset();

    RecordProperty("longestStallMilliseconds", static_cast<int>(longestStall));
    EXPECT_LT(longestStall, 2000);
    EXPECT_TRUE(manager->history().empty());

    copyWithXclip("after");
    ASSERT_TRUE(waitForHistorySize(1));
    EXPECT_EQ(manager->history().front().text(), "after");
}

INSTANTIATE_TEST_SUITE_P(Owners, ClipboardMisbehavingOwnerTest,
                         ::testing::Values(MisbehavingOwner{"silent"}, MisbehavingOwner{"targets-only"},
                                           MisbehavingOwner{"dies-mid-transfer"}),
                         [](const auto& info) {
                             QString name = info.param.mode;
                             name.remove('-');
                             return name.toStdString();
                         });

} // namespace
