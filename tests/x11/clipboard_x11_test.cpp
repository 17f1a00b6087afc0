// The engine on a real X server, with xclip and a misbehaving X client as the other applications.

#include "engine/clipboard_manager.h"
#include "platform/qt_main_queue.h"
#include "platform/qt_pasteboard.h"
#include "platform/thread_queue.h"
#include "tests/x11/x11_test_helpers.h"

#include <QBuffer>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

#ifdef __SANITIZE_THREAD__
// Qt and libxcb are not instrumented: the thread sanitizer cannot see how Qt's X event thread hands
// replies to the GUI thread, or is stopped at exit, and reports races inside them; and QProcess's child
// trips its check for threads after fork before it execs. Races between our own threads are still reported.
extern "C" const char* __tsan_default_options()
{
    return "die_after_fork=0";
}

extern "C" const char* __tsan_default_suppressions()
{
    return "race:libxcb.so.1\n"
           "race:QWaitCondition::~QWaitCondition\n";
}
#endif

namespace {

QByteArray encodePng(const QImage& image, int quality = -1)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png", quality);
    return png;
}

/// Runs the event loop for `milliseconds`; returns the longest time one turn of it took, that is, how long
/// the GUI thread was blocked.
qint64 longestTurnWhileWaiting(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    qint64 longest = 0;
    while (clock.elapsed() < milliseconds) {
        const auto turn = clock.elapsed();
        QTest::qWait(10);
        longest = std::max(longest, clock.elapsed() - turn);
    }
    return longest;
}

class ClipboardX11Test : public ::testing::Test
{
protected:
    ~ClipboardX11Test() override
    {
        owner.kill();
        owner.waitForFinished();
    }

    /// Puts `data` on the clipboard as xclip does, and waits until the X server says xclip owns it.
    void copyWithXclip(const QByteArray& data, const QString& target = {})
    {
        QProcess xclip;
        xclip.start("xclip", QStringList{"-selection", "clipboard", "-i"} +
                                 (target.isEmpty() ? QStringList() : QStringList{"-t", target}));
        ASSERT_TRUE(xclip.waitForStarted(5000));
        xclip.write(data);
        xclip.closeWriteChannel();
        // xclip goes to the background once it has read its input.
        ASSERT_TRUE(xclip.waitForFinished(20000));
        const auto offered = target.isEmpty() ? QByteArray("UTF8_STRING") : target.toLatin1();
        ASSERT_TRUE(QTest::qWaitFor([&] { return readClipboardWithXclip("TARGETS").contains(offered); }, 5000));
    }

    bool waitForHistorySize(std::size_t size, int milliseconds = 3000)
    {
        return QTest::qWaitFor([&] { return manager->history().size() == size; }, milliseconds);
    }

    /// Starts the misbehaving owner in `mode` and waits until it owns the clipboard.
    void startOwner(const QString& mode)
    {
        ownerOutput.clear();
        owner.start(VELMORA_CLIPBOARD_OWNER, {mode});
        ASSERT_TRUE(QTest::qWaitFor([&] { return requests("").contains("ready"); }, 5000));
    }

    /// The lines the owner printed so far that start with `prefix`.
    QByteArrayList requests(const QByteArray& prefix)
    {
        ownerOutput += owner.readAllStandardOutput();
        QByteArrayList lines;
        for (const auto& line : ownerOutput.split('\n')) {
            if (!line.isEmpty() && line.startsWith(prefix)) {
                lines.append(line);
            }
        }
        return lines;
    }

    platform::QtPasteboard pasteboard;
    platform::QtMainQueue mainQueue;
    platform::ThreadQueueFactory queues;
    std::shared_ptr<ClipboardManager> manager = ClipboardManager::create(pasteboard, mainQueue, queues);
    QProcess owner;
    QByteArray ownerOutput;
};

TEST_F(ClipboardX11Test, CapturesTextsCopiedAfterTheStoreWasBuiltTrimmedWithinASecond)
{
    manager.reset();
    copyWithXclip("there before");
    QTest::qWait(300);
    manager = ClipboardManager::create(pasteboard, mainQueue, queues);
    QTest::qWait(1200);
    EXPECT_TRUE(manager->history().empty());

    copyWithXclip("  copied by xclip\n\n");
    ASSERT_TRUE(waitForHistorySize(1, 1000));
    EXPECT_EQ(manager->history().front().text(), "copied by xclip");

    copyWithXclip("valid \xff\xfe then \xc3 more");
    ASSERT_TRUE(waitForHistorySize(2));
    EXPECT_EQ(manager->history().front().text(), QString::fromUtf8("valid \xff\xfe then \xc3 more"));
}

TEST_F(ClipboardX11Test, CopiesATextBackAsPlainTextAndCapturesOnlyTheNextCopyOfAnother)
{
    copyWithXclip("  first\n");
    ASSERT_TRUE(waitForHistorySize(1));
    copyWithXclip("second");
    ASSERT_TRUE(waitForHistorySize(2));
    const auto before = manager->history();
    const auto countBefore = pasteboard.changeCount();

    manager->copyItem(before.back());

    // Our own content is read straight from Qt, not through the X server.
    EXPECT_EQ(pasteboard.string(), "first");
    EXPECT_EQ(readClipboardWithXclip(), "first");
    EXPECT_FALSE(readClipboardWithXclip("TARGETS").contains("image/"));
    QTest::qWait(1200);
    EXPECT_EQ(manager->history(), before);
    // Our own write counts once, whatever Qt reports about the owner it replaced.
    EXPECT_EQ(pasteboard.changeCount(), countBefore + 1);

    copyWithXclip("theirs");
    ASSERT_TRUE(waitForHistorySize(3));
    EXPECT_EQ(manager->history().front().text(), "theirs");
}

TEST_F(ClipboardX11Test, CapturesAPngAsAnImageAndCopiesItBackAsPictureFormsOnly)
{
    QImage picture(QSize(64, 48), QImage::Format_RGB32);
    picture.fill(QColor(40, 90, 160));
    copyWithXclip(encodePng(picture), "image/png");
    ASSERT_TRUE(waitForHistorySize(1) && manager->history().front().image());
    EXPECT_EQ(manager->history().front().image()->toQImage().convertToFormat(QImage::Format_RGB32), picture);
    copyWithXclip("a text after it");
    ASSERT_TRUE(waitForHistorySize(2));
    const auto before = manager->history();

    manager->copyItem(before.back());

    const auto targets = readClipboardWithXclip("TARGETS");
    EXPECT_TRUE(targets.contains("image/png"));
    EXPECT_FALSE(QString(targets).contains(QRegularExpression("STRING|TEXT|text/"))) << targets.toStdString();
    EXPECT_EQ(QImage::fromData(readClipboardWithXclip("image/png")).convertToFormat(QImage::Format_RGB32), picture);
    QTest::qWait(1200);
    EXPECT_EQ(manager->history(), before);
}

TEST_F(ClipboardX11Test, CapturesATextOfFiftyMegabytes)
{
    const auto text = QByteArray("the quick brown fox jumps over the lazy dog\n").repeated(50 * 1024 * 1024 / 44);
    copyWithXclip(text);

    ASSERT_TRUE(waitForHistorySize(1, 10000));
    EXPECT_EQ(manager->history().front().text()->size(), text.size() - 1);
}

TEST_F(ClipboardX11Test, CapturesAPictureOfEightThousandPixelsSquare)
{
    QImage picture(QSize(8000, 8000), QImage::Format_RGB32);
    picture.fill(QColor(40, 90, 160));
    copyWithXclip(encodePng(picture), "image/png");
    ASSERT_TRUE(waitForHistorySize(1, 10000) && manager->history().front().image());
    EXPECT_EQ(manager->history().front().image()->toQImage().convertToFormat(QImage::Format_RGB32), picture);
}

TEST_F(ClipboardX11Test, KeepsTwoDifferentPicturesTooLargeToDecode)
{
    // 9000 x 9000 decodes to 324 MB, over the limit: neither has a TIFF representation to compare.
    for (const auto colour : {Qt::red, Qt::blue}) {
        QImage picture(QSize(9000, 9000), QImage::Format_RGB888);
        picture.fill(colour);
        // The fastest compression: the colour is uniform.
        copyWithXclip(encodePng(picture, 80), "image/png");
        picture = QImage();
        ASSERT_TRUE(waitForHistorySize(colour == Qt::red ? 1 : 2, 10000));
        EXPECT_EQ(manager->history().front().image()->size(), QSize(9000, 9000));
    }
}

TEST_F(ClipboardX11Test, CapturesATextThatArrivesSlowlyWhileItKeepsArriving)
{
    startOwner("slowIncrement");

    // 4 s of transfer, never 1.5 s without data.
    ASSERT_TRUE(waitForHistorySize(1, 15000)) << requests("").join(", ").toStdString();
    QString expected;
    for (int increment = 1; increment <= 8; ++increment) {
        expected += QString("slow increment %1\n").arg(increment);
    }
    EXPECT_EQ(manager->history().front().text(), expected.trimmed());
}

TEST_F(ClipboardX11Test, AsksAnOwnerThatFellSilentOnceMoreAndNoMore)
{
    startOwner("silentOnce");
    ASSERT_TRUE(waitForHistorySize(1, 8000));
    EXPECT_EQ(manager->history().front().text(), "answered when asked again");
    owner.kill();
    owner.waitForFinished();

    startOwner("silent");
    ASSERT_TRUE(QTest::qWaitFor([&] { return requests("asked TARGETS").size() == 2; }, 8000));
    // A third read would start at the tick after the second gave up, within half a second.
    QTest::qWait(2500);
    EXPECT_EQ(requests("asked").size(), 2);
    EXPECT_EQ(manager->history().size(), 1u);

    copyWithXclip("after");
    ASSERT_TRUE(waitForHistorySize(2));
    EXPECT_EQ(manager->history().front().text(), "after");
}

TEST_F(ClipboardX11Test, NeverAsksForATextThatAPasswordManagerMarkedSecret)
{
    startOwner("secret");

    // The capture that asked has ended when the owner's line arrives: both run on this thread.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !requests("asked").isEmpty(); }, 5000));
    QTest::qWait(1000);
    EXPECT_EQ(requests("asked").join(", "), "asked TARGETS");
    EXPECT_TRUE(manager->history().empty());

    copyWithXclip("after");
    ASSERT_TRUE(waitForHistorySize(1));
    EXPECT_EQ(manager->history().front().text(), "after");
    EXPECT_EQ(requests("asked").join(", "), "asked TARGETS");
}

struct Misbehaviour
{
    const char* mode;
    /// The text a capture finds beside what the owner withholds or spoils, if any.
    const char* captured;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Misbehaviour& misbehaviour, std::ostream* stream)
{
    *stream << misbehaviour.mode;
}

class ClipboardMisbehavingOwnerTest : public ClipboardX11Test, public ::testing::WithParamInterface<Misbehaviour>
{
};

TEST_P(ClipboardMisbehavingOwnerTest, NeverBlocksTheEventLoopForTwoSecondsAndCapturesTheNextCopy)
{
    startOwner(GetParam().mode);

    EXPECT_LT(longestTurnWhileWaiting(2500), 2000);
    const std::size_t captured = GetParam().captured ? 1 : 0;
    ASSERT_EQ(manager->history().size(), captured);

    copyWithXclip("after");
    ASSERT_TRUE(waitForHistorySize(captured + 1));
    EXPECT_EQ(manager->history().front().text(), "after");
    EXPECT_EQ(manager->history().back().text(), GetParam().captured ? GetParam().captured : "after");
}

INSTANTIATE_TEST_SUITE_P(Owners, ClipboardMisbehavingOwnerTest,
                         ::testing::Values(Misbehaviour{"silent", nullptr}, Misbehaviour{"targetsOnly", nullptr},
                                           Misbehaviour{"diesMidTransfer", nullptr},
                                           Misbehaviour{"garbageImage", "the text beside a broken picture"}),
                         [](const auto& info) { return std::string(info.param.mode); });

} // namespace
