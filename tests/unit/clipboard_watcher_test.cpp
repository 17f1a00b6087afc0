// The watcher on its real background thread, with the clipboard and the event loop faked.

#include "engine/clipboard_manager.h"
#include "platform/background_timer.h"

#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// Polls `condition` until it holds or `timeout` passes; whether it held.
template <typename Condition> bool waitUntil(Condition condition, std::chrono::milliseconds timeout = 5s)
{
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Holds the next tick inside changeCount() until the test lets it go.
struct GatedClipboard final : FakeClipboard
{
    [[nodiscard]] std::int64_t changeCount() const override
    {
        if (armed.exchange(false)) {
            entered.set_value();
            release.get_future().wait();
        }
        return FakeClipboard::changeCount();
    }

    mutable std::atomic<bool> armed = false;
    mutable std::promise<void> entered;
    mutable std::promise<void> release;
};

class BackgroundTimerTest : public ::testing::Test
{
protected:
    int argc = 0;
    QCoreApplication application{argc, nullptr};
    platform::QtBackgroundTimers timers;
};

TEST_F(BackgroundTimerTest, TicksAtOnceOnAnIdlePriorityThreadOfTheGivenName)
{
    std::promise<void> ticked;
    QString threadName;
    int policy = -1;
    // An hour's interval: only a first tick at the start can come within the wait.
    const auto timer = timers.start(QStringLiteral("com.hollin.velmora.listener"), 1h, [&] {
        threadName = QThread::currentThread()->objectName();
        sched_param parameters{};
        pthread_getschedparam(pthread_self(), &policy, &parameters);
        ticked.set_value();
    });
    ASSERT_EQ(ticked.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_EQ(threadName, "com.hollin.velmora.listener");
    EXPECT_EQ(policy, SCHED_IDLE);
}

TEST_F(BackgroundTimerTest, RepeatsNoSoonerThanTheIntervalAndStopsAfterTheRunningTick)
{
    constexpr auto interval = 30ms;
    std::mutex ticksMutex;
    std::vector<Clock::time_point> ticks;
    std::atomic<bool> inTick = false;
    const auto tickCount = [&] {
        const std::lock_guard lock(ticksMutex);
        return ticks.size();
    };
    auto timer = timers.start(QStringLiteral("ticker"), interval, [&] {
        inTick = true;
        {
            const std::lock_guard lock(ticksMutex);
            ticks.push_back(Clock::now());
        }
        std::this_thread::sleep_for(5ms);
        inTick = false;
    });
    ASSERT_TRUE(waitUntil([&] { return tickCount() >= 10 && inTick; }));

    timer.reset();
    EXPECT_FALSE(inTick);
    const auto ticked = tickCount();
    std::this_thread::sleep_for(3 * interval);
    EXPECT_EQ(tickCount(), ticked);
    for (std::size_t index = 1; index < ticked; ++index) {
        // A late tick does not push back the next one; none comes before its time. Qt's precise timers may
        // fire up to a millisecond early.
        EXPECT_GE(ticks[index] - ticks[0], index * interval - 1ms) << "tick " << index;
    }
}

TEST_F(BackgroundTimerTest, TheStoreMayDieInATickOnTheWatcherThread)
{
    GatedClipboard clipboard;
    FakeEventLoop eventLoop;
    auto manager = ClipboardManager::create(clipboard, eventLoop, timers);
    const std::weak_ptr<ClipboardManager> weakManager = manager;
    auto entered = clipboard.entered.get_future();
    clipboard.armed = true;
    ASSERT_EQ(entered.wait_for(10s), std::future_status::ready);

    // The tick now holds the only strong reference; it drops it, and with it the timer, on the timer's
    // own thread.
    manager.reset();
    clipboard.release.set_value();

    EXPECT_TRUE(waitUntil([&] { return weakManager.expired(); }));
    EXPECT_EQ(eventLoop.pendingCount(), 0u);
    // The thread goes once it has ended, through the application's event loop.
    QCoreApplication::processEvents();
}

} // namespace
