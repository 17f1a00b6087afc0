// The engine on a real X server, with xclip and a misbehaving X client as the other applications.

#include "engine/clipboard_manager.h"
#include "platform/event_loop.h"
#include "platform/qt_clipboard.h"
#include "platform/background_timer.h"
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

    platform::QtClipboard clipboard;
    platform::QtEventLoop eventLoop;
    platform::QtBackgroundTimers timers;
    std::shared_ptr<ClipboardManager> manager = ClipboardManager::create(clipboard, eventLoop, timers);
    QProcess owner;
};

TEST_F(ClipboardX11Test, CapturesTextsCopiedAfterTheStoreWasBuiltTrimmedWithinASecond)
{
    manager.reset();
    copyWithXclip("there before");
    QTest::qWait(300);
    manager = ClipboardManager::create(clipboard, eventLoop, timers);
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
    const auto countBefore = clipboard.changeCount();

    manager->copyItem(before.back());

    // Our own content is read straight from Qt, not through the X server.
    EXPECT_EQ(clipboard.text(), "first");
    EXPECT_EQ(readClipboardWithXclip(), "first");
    EXPECT_FALSE(readClipboardWithXclip("TARGETS").contains("image/"));
    QTest::qWait(1200);
    EXPECT_EQ(manager->history(), before);
    // Our own write counts once, whatever Qt reports about the owner it replaced.
    EXPECT_EQ(clipboard.changeCount(), countBefore + 1);

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
    owner.start(VELMORA_CLIPBOARD_OWNER, {GetParam().mode});
    ASSERT_TRUE(owner.waitForReadyRead(5000));
    ASSERT_EQ(owner.readLine().trimmed(), "ready");

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
