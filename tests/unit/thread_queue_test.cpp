#include "platform/thread_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(ThreadQueueTest, TicksAtOnceThenEveryIntervalOnALowPriorityThreadOfItsOwnUntilDestroyedAfterTheRunningTick)
{
    platform::ThreadQueueFactory factory;
    auto timer = factory.makeSerialQueue("com.hollin.velmora.listener", platform::QualityOfService::Background)
                     ->makeTimerSource();
    std::mutex ticksMutex;
    std::vector<Clock::time_point> ticks;
    char threadName[16] = {};
    bool atLowestPriority = false;
    std::atomic<bool> inTick = false;
    const auto tickCount = [&] {
        const std::lock_guard lock(ticksMutex);
        return ticks.size();
    };
    const auto start = Clock::now();
    timer->schedule(start, 200ms, 0ns);
    timer->setEventHandler([&] {
        inTick = true;
        {
            const std::lock_guard lock(ticksMutex);
            ticks.push_back(Clock::now());
            pthread_getname_np(pthread_self(), threadName, sizeof threadName);
            int policy = 0;
            sched_param parameters{};
            pthread_getschedparam(pthread_self(), &policy, &parameters);
            atLowestPriority = policy == SCHED_IDLE || getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())) == 19;
        }
        std::this_thread::sleep_for(50ms);
        inTick = false;
    });
    timer->resume();
    const auto deadline = Clock::now() + 3s;
    while ((tickCount() < 3 || !inTick) && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }

    timer.reset();
    EXPECT_FALSE(inTick);
    const auto ticked = tickCount();
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(tickCount(), ticked);

    // Never early; the upper bounds are generous, for loaded machines and sanitizers.
    ASSERT_GE(ticked, 3u);
    EXPECT_LT(ticks[0] - start, 150ms);
    EXPECT_GE(ticks[1] - start, 200ms);
    EXPECT_GE(ticks[2] - start, 400ms);
    EXPECT_LT(ticks[2] - start, 1500ms);
    EXPECT_STREQ(threadName, "listener");
    EXPECT_TRUE(atLowestPriority);
}

} // namespace
