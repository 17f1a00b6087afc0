// The engine on a real Wayland compositor, with wl-clipboard and a misbehaving data-control client as the
// other applications.

#include "engine/clipboard_manager.h"
#include "platform/background_timer.h"
#include "platform/clipboard.h"
#include "platform/event_loop.h"
#include "platform/image.h"
#include "tests/support/clipboard_owner_process.h"
#include "tests/x11/x11_test_helpers.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <utility>

#ifdef __SANITIZE_THREAD__
// QProcess's child trips the thread sanitizer's check for threads after fork before it execs; the races
// it reports inside the uninstrumented Qt and libwayland are suppressed in tests/tsan.supp.
extern "C" const char* __tsan_default_options()
{
    return "die_after_fork=0";
}
#endif

namespace {

using namespace std::chrono_literals;

const QString utf8Text = QStringLiteral("text/plain;charset=utf-8");

/// What wl-paste reads from the selection as `mimeType`, or its list of types with "--list-types".
QByteArray paste(const QString& mimeType)
{
    const QStringList arguments =
        mimeType == "--list-types" ? QStringList{mimeType} : QStringList{"--no-newline", "--type", mimeType};
    return run(QStringLiteral("wl-paste"), arguments, 20s).output;
}

class ClipboardWaylandTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_NE(clipboard, nullptr) << "the compositor offers no data-control"; }
    ~ClipboardWaylandTest() override
    {
        if (manager) {
            manager->stopOptimizedClipboardListener();
        }
    }

    /// Puts `data` on the clipboard as wl-copy does, and waits until wl-paste sees it there. The event loop
    /// runs meanwhile, so that a capture stalling it shows.
    void copyWithWlCopy(const QByteArray& data, const QString& mimeType = utf8Text)
    {
        QProcess copy;
        copy.start("wl-copy", {"--type", mimeType});
        copy.write(data);
        copy.closeWriteChannel();
        // wl-copy goes to the background once it holds the selection.
        ASSERT_TRUE(waitForEnd(copy, 2min));
        ASSERT_TRUE(waitFor([&] { return paste("--list-types").contains(mimeType.toLatin1()); }));
    }

    bool waitForHistorySize(std::size_t size, std::chrono::milliseconds timeout = 10s)
    {
        return waitFor([&] { return manager->history().size() == size; }, timeout);
    }

    bool waitForFront(const QString& text, std::chrono::milliseconds timeout = 1min)
    {
        return waitFor([&] { return !manager->history().empty() && manager->history().front().text() == text; },
                       timeout);
    }

    std::unique_ptr<platform::Clipboard> clipboard = platform::createClipboard();
    platform::QtEventLoop eventLoop;
    platform::QtBackgroundTimers timers;
    std::shared_ptr<ClipboardManager> manager =
        clipboard ? ClipboardManager::create(*clipboard, eventLoop, timers) : nullptr;
    OwnerProcess owner{QStringLiteral(VELMORA_SELECTION_OWNER)};
};

TEST_F(ClipboardWaylandTest, CapturesTextsAndPicturesNewestFirstWithoutDuplicatesUpToTheLimit)
{
    const Form picture{"image/png", png({64, 48}, QColor(40, 90, 160))};
    copyWithWlCopy(picture.second, picture.first);
    ASSERT_TRUE(waitForHistorySize(1));
    EXPECT_TRUE(holds(manager->history().front(), picture));
    copyWithWlCopy("  first\n");
    ASSERT_TRUE(waitForFront("first"));
    copyWithWlCopy("second", "UTF8_STRING");
    ASSERT_TRUE(waitForFront("second"));
    // Again, in other white space: the older entry goes.
    copyWithWlCopy("first \n\n");
    ASSERT_TRUE(waitForFront("first"));
    ASSERT_EQ(manager->history().size(), 3U);
    EXPECT_EQ(manager->history()[1].text(), "second");
    EXPECT_TRUE(holds(manager->history()[2], picture));

    for (int copy = 0; copy < 48; ++copy) {
        copyWithWlCopy("copy " + QByteArray::number(copy));
        ASSERT_TRUE(waitForFront("copy " + QString::number(copy)));
    }
    // 51 contents seen: the picture, the oldest, is gone.
    EXPECT_EQ(manager->history().size(), 50U);
    EXPECT_EQ(manager->history().back().text(), "second");
}

TEST_F(ClipboardWaylandTest, CopiesAnEntryBackInItsFormsWithoutRecordingItAgain)
{
    const Form picture{"image/png", png({64, 48}, QColor(200, 60, 20))};
    copyWithWlCopy(picture.second, picture.first);
    ASSERT_TRUE(waitForHistorySize(1));
    copyWithWlCopy("  a text\n");
    ASSERT_TRUE(waitForHistorySize(2));
    for (const bool isPicture : {false, true}) {
        SCOPED_TRACE(isPicture ? "a picture" : "a text");
        const auto before = manager->history();
        const auto& entry = before[before.size() - (isPicture ? 1 : 2)];
        manager->copyItem(entry);
        const auto types = paste("--list-types").split('\n');
        if (isPicture) {
            EXPECT_TRUE(types.contains("image/png")) << types.join(' ').toStdString();
            EXPECT_TRUE(holds(entry, {"image/png", paste("image/png")}));
        } else {
            const QByteArrayList textTypes{"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};
            for (const auto& type : textTypes) {
                EXPECT_TRUE(types.contains(type)) << type.toStdString();
                EXPECT_EQ(paste(QString::fromLatin1(type)), "a text") << type.toStdString();
            }
        }
        // The next copy lands right on top of the history as it was.
        copyWithWlCopy("next " + QByteArray::number(before.size()));
        ASSERT_TRUE(waitForHistorySize(before.size() + 1));
        EXPECT_TRUE(std::equal(before.begin(), before.end(), manager->history().begin() + 1));
    }
}

TEST_F(ClipboardWaylandTest, CopiesAPictureBackAsPngAndInTheFormItCameIn)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(10, 120, 200));
    const auto jpeg = platform::encodeImage(picture, "jpeg").value_or(QByteArray());
    copyWithWlCopy(jpeg, "image/jpeg");
    ASSERT_TRUE(waitForHistorySize(1));
    ASSERT_TRUE(manager->history().front().image());
    manager->copyItem(manager->history().front());
    const auto types = paste("--list-types").split('\n');
    EXPECT_TRUE(types.contains("image/png") && types.contains("image/jpeg")) << types.join(' ').toStdString();
    EXPECT_EQ(paste("image/jpeg"), jpeg);
    // Encoded beside the GUI thread as the entry went back.
    const auto png = QImage::fromData(paste("image/png"), "png");
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32),
              manager->history().front().image()->toQImage().convertToFormat(QImage::Format_RGB32));
}

TEST_F(ClipboardWaylandTest, ServesOtherReadersWhileOneStopsReading)
{
    const auto text = QByteArray("a line of a long text\n").repeated(200'000);
    copyWithWlCopy(text);
    ASSERT_TRUE(waitForHistorySize(1, 1min));
    manager->copyItem(manager->history().front());
    // wl-paste into a pipe nobody reads: it stops reading our data once the pipes fill.
    QProcess stuck;
    stuck.start("sh", {"-c", "wl-paste --type text/plain | sleep 60"});
    ASSERT_TRUE(stuck.waitForStarted());
    StallMeter stall;
    stall.restart();
    for (int reader = 0; reader < 3; ++reader) {
        EXPECT_EQ(paste("text/plain"), text.trimmed());
    }
    EXPECT_LT(stall.longest(), 1000);
    stuck.kill();
    stuck.waitForFinished();
}

TEST_F(ClipboardWaylandTest, GivesUpOnAnOwnerThatMisbehavesWithoutStalling)
{
    const auto slowly = QByteArray("abcdefgh").repeated(32);
    // Not captured: the owner is asked at most `mostAsks` times.
    const struct
    {
        const char* plan;
        QList<Form> offer;
        QString captured;
        qsizetype mostAsks = 10;
        // On a busy machine an owner may die between closing our pipe and its connection: the part it sent
        // passes for the whole.
        bool mayKeepWhatCame = false;
    } cases[] = {
        {"silent", {{utf8Text, "never sent"}}, {}, 2},
        {"die", {{utf8Text, "half of it comes, the rest never"}}, {}, 1, true},
        {"empty", {{utf8Text, "closed at once"}}, {}, 1},
        {"none",
         {{"image/png", "\x89PNG\r\n\x1a\n no PNG"}, {utf8Text, "beside a bad picture"}},
         "beside a bad picture"},
        // 4 s of transfer, never 1.5 s without data.
        {"none:32:500", {{utf8Text, slowly}}, QString::fromLatin1(slowly)},
        {"none", {{"STRING", "caf\xe9 cr\xe8me"}}, QString::fromLatin1("caf\xe9 cr\xe8me")},
        // Asked once more after its silence.
        {"skip", {{utf8Text, "answered when asked again"}}, "answered when asked again"},
        {"replace", {{utf8Text, "offered again"}}, "offered again"},
        {"none", {{utf8Text, "hunter2"}, {"x-kde-passwordManagerHint", "secret"}}, {}, 0},
    };
    StallMeter stall;
    for (const auto& row : cases) {
        SCOPED_TRACE(std::string(row.plan) + " " + row.offer.back().second.left(20).toStdString());
        const auto size = manager->history().size();
        const auto countBefore = clipboard->changeCount();
        ASSERT_TRUE(owner.start(row.plan, row.offer));
        stall.restart();
        EXPECT_TRUE(waitFor([&] { return clipboard->changeCount() != countBefore; }));
        if (!row.captured.isEmpty()) {
            ASSERT_TRUE(waitForFront(row.captured, 20s));
        }
        // Then the asking stops: 2.5 s pass without a request.
        qsizetype asks = -1;
        EXPECT_TRUE(owner.waitUntilAskedNoMore(asks));
        EXPECT_LE(asks, row.mostAsks) << owner.lines("asked").join(", ").toStdString();
        if (row.mayKeepWhatCame && manager->history().size() == size + 1) {
            EXPECT_TRUE(QString::fromUtf8(row.offer.back().second).startsWith(*manager->history().front().text()));
        } else {
            EXPECT_EQ(manager->history().size(), size + (row.captured.isEmpty() ? 0 : 1));
        }

        const auto after = QString("after ") + row.plan;
        copyWithWlCopy(after.toUtf8());
        ASSERT_TRUE(waitForFront(after));
        stall.stop();
        // Reads run beside the event loop: a slow or silent owner holds up nothing on screen.
        EXPECT_LT(stall.longest(), 1000);
        owner.stop();
    }
}

// VELMORA_HOSTILE_OWNER_SEED=<number> plays another sequence of owners; VELMORA_HOSTILE_OWNER_ROUNDS=<number>
// plays more or fewer rounds. A failure names the seed and round that replay it.
TEST_F(ClipboardWaylandTest, SurvivesOwnersThatMisbehaveAtRandom)
{
    const auto seed = qEnvironmentVariable("VELMORA_HOSTILE_OWNER_SEED", "20261207").toULongLong();
    const auto rounds = qEnvironmentVariable("VELMORA_HOSTILE_OWNER_ROUNDS", "60").toInt();
    std::mt19937_64 random(seed);
    // Captures by hand, each one timed, once the clipboard says it changed.
    manager->stopOptimizedClipboardListener();
    const auto capture = [&](const auto& copy) {
        const auto countBefore = clipboard->changeCount();
        copy();
        EXPECT_TRUE(waitFor([&] { return clipboard->changeCount() != countBefore; }, 15s));
        QElapsedTimer clock;
        clock.start();
        manager->processNewClipboardItem();
        EXPECT_LT(clock.elapsed(), 2000);
    };
    int wellBehaved = 0;
    for (int round = 0; round < rounds && !HasFailure(); ++round) {
        SCOPED_TRACE("VELMORA_HOSTILE_OWNER_SEED=" + std::to_string(seed) + ", round " + std::to_string(round));
        const auto payload = randomPayload(random, round, utf8Text);
        const auto frontBefore = manager->history().empty() ? QUuid() : manager->history().front().id();
        capture([&] { ASSERT_TRUE(owner.start("random:" + QString::number(random()), {payload})); });
        const bool captured = !manager->history().empty() && manager->history().front().id() != frontBefore;
        // The owner says so before it errs, and it erred, if at all, before the capture ended.
        const auto missteps = owner.lines("misstep");
        // An owner that died may pass for one that finished, with the part it sent (see above).
        const auto isStartOfPayload = [&](const ClipboardItem& entry) {
            return missteps.contains("misstep die") && entry.text() &&
                   QString::fromUtf8(payload.second).startsWith(*entry.text());
        };
        EXPECT_TRUE(captured
                        ? holds(manager->history().front(), payload) || isStartOfPayload(manager->history().front())
                        : !missteps.empty())
            << missteps.join(", ").toStdString();
        wellBehaved += missteps.empty() ? 1 : 0;

        // The next well-behaved application is captured whatever this one did. An owner that set the selection
        // again may still be on its way: read until the copy comes.
        const auto check = "check " + QByteArray::number(round);
        copyWithWlCopy(check);
        EXPECT_TRUE(waitFor(
            [&] {
                manager->processNewClipboardItem();
                return !manager->history().empty() && manager->history().front().text() == check;
            },
            30s));
        owner.stop();
    }
    // The rounds were a mix, not all of one kind.
    EXPECT_GT(wellBehaved, rounds / 5);
    EXPECT_LT(wellBehaved, rounds * 4 / 5);
    std::printf("%d rounds, %d without a misstep\n", rounds, wellBehaved);
}

} // namespace
