#include "engine/clipboard_manager.h"
#include "platform/background_timer.h"

#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_event_loop.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include <pthread.h>
#include <sched.h>

namespace {

using namespace std::chrono_literals;
bool waitUntil(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    return condition();
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

TEST_F(BackgroundTimerTest, TicksAtOnceOnAnIdleThreadOfTheGivenNameRepeatsAndStopsAfterTheRunningTick)
{
    std::promise<void> ticked;
    int policy = -1;
    // An hour's interval: only a first tick at the start can come within the wait.
    auto timer = timers.start(QStringLiteral("com.hollin.velmora.listener"), 1h, [&] {
        EXPECT_EQ(QThread::currentThread()->objectName(), "com.hollin.velmora.listener");
        sched_param parameters{};
        pthread_getschedparam(pthread_self(), &policy, &parameters);
        ticked.set_value();
    });
    ASSERT_EQ(ticked.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_EQ(policy, SCHED_IDLE);

    std::atomic<int> ticks = 0;
    std::atomic<bool> inTick = false;
    timer = timers.start(QStringLiteral("ticker"), 30ms, [&] {
        inTick = true;
        ++ticks;
        std::this_thread::sleep_for(5ms);
        inTick = false;
    });
    ASSERT_TRUE(waitUntil([&] { return ticks >= 3 && inTick; }));
    timer.reset();
    EXPECT_FALSE(inTick);
    const int stopped = ticks;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ticks, stopped);
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

    // The tick now holds the only strong reference: it drops it, and the timer, on the timer's thread.
    manager.reset();
    clipboard.release.set_value();

    EXPECT_TRUE(waitUntil([&] { return weakManager.expired(); }));
    EXPECT_EQ(eventLoop.pendingCount(), 0u);
    // The thread goes once it has ended, through the application's event loop.
    QCoreApplication::processEvents();
}

} // namespace
