#include "engine/clipboard_manager.h"
#include "platform/background_timer.h"

#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Holds the next tick inside changeCount() until the test lets it go, as work that cannot be interrupted
// would; a minute at most, so that a stop that waits for it fails rather than hangs.
struct GatedClipboard final : FakeClipboard
{
    [[nodiscard]] std::int64_t changeCount() const override
    {
        if (armed.exchange(false)) {
            entered = true;
            release.get_future().wait_for(1min);
        }
        return FakeClipboard::changeCount();
    }

    mutable std::atomic<bool> armed = false;
    mutable std::atomic<bool> entered = false;
    mutable std::promise<void> release;
};

class BackgroundTimerTest : public ::testing::Test
{
protected:
    int argc = 0;
    QCoreApplication application{argc, nullptr};
    platform::QtBackgroundTimers timers;
};

TEST_F(BackgroundTimerTest, RepeatsAndStopsOnlyAfterTheRunningTick)
{
    std::atomic<int> ticks = 0;
    std::atomic<bool> inTick = false;
    // Held by every copy of the tick: once none is left, no tick can run any more.
    const auto tickCopies = std::make_shared<int>();
    auto timer = timers.start(QStringLiteral("ticker"), 30ms, [&, tickCopies] {
        inTick = true;
        ++ticks;
        // Long enough for the test to stop the timer in the middle of a tick now and then.
        std::this_thread::sleep_for(5ms);
        inTick = false;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3 && inTick; }));
    timer.reset();
    EXPECT_FALSE(inTick);
    EXPECT_EQ(tickCopies.use_count(), 1);
}

// Linux keeps the first 15 bytes of a thread's name.
bool isThreadRunning(const QByteArray& name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const auto& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name.left(15)) {
            return true;
        }
    }
    return false;
}

TEST_F(BackgroundTimerTest, AStopAbandonsATickThatCannotBeInterruptedWhichThenHandsTheStoreToTheGuiThread)
{
    GatedClipboard clipboard;
    FakeEventLoop eventLoop;
    auto manager = ClipboardManager::create(clipboard, eventLoop, timers);
    const std::weak_ptr<ClipboardManager> weakManager = manager;
    std::atomic<QThread*> destroyedOn = nullptr;
    QObject::connect(
        manager.get(), &QObject::destroyed, &application, [&] { destroyedOn = QThread::currentThread(); },
        Qt::DirectConnection);
    clipboard.armed = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return clipboard.entered.load(); }));
    EXPECT_EQ(manager->stopOptimizedClipboardListener(100ms), platform::TimerStop::Abandoned);
    ASSERT_TRUE(isThreadRunning("com.hollin.velmora.listener"));

    // The tick now holds the only strong reference and drops it on the watcher thread, which then goes.
    manager.reset();
    clipboard.release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return weakManager.expired() && eventLoop.pendingCount() == 1; }));
    EXPECT_TRUE(QTest::qWaitFor([] { return !isThreadRunning("com.hollin.velmora.listener"); }));
    // Its deletion is handed to the GUI thread's event loop.
    EXPECT_EQ(destroyedOn.load(), nullptr);
    eventLoop.runPending();
    EXPECT_EQ(destroyedOn.load(), QThread::currentThread());
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
