#include "platform/thread_queue.h"

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
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

template <typename Predicate>
bool waitFor(Predicate predicate, std::chrono::milliseconds timeout = 2s)
{
    const auto deadline = Clock::now() + timeout;
    while (!predicate()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class ThreadQueueTest : public ::testing::Test
{
protected:
    std::unique_ptr<platform::TimerSource> makeTimer(platform::QualityOfService qos = platform::QualityOfService::Default)
    {
        return factory.makeSerialQueue("com.hollin.velmora.listener", qos)->makeTimerSource();
    }

    platform::ThreadQueueFactory factory;
};

TEST_F(ThreadQueueTest, FiresAtOnceThenEveryIntervalOnAThreadOfItsOwn)
{
    std::mutex ticksMutex;
    std::vector<std::pair<Clock::time_point, std::thread::id>> ticks;
    auto timer = makeTimer();
    const auto start = Clock::now();
    timer->schedule(start, 200ms, 0ns);
    timer->setEventHandler([&] {
        const std::lock_guard lock(ticksMutex);
        ticks.emplace_back(Clock::now(), std::this_thread::get_id());
    });
    timer->resume();

    ASSERT_TRUE(waitFor([&] {
        const std::lock_guard lock(ticksMutex);
        return ticks.size() >= 3;
    }));
    timer.reset();

    const std::lock_guard lock(ticksMutex);
    // Never early; the upper bounds are generous, for loaded machines and sanitizers.
    EXPECT_LT(ticks[0].first - start, 150ms);
    EXPECT_GE(ticks[1].first - start, 200ms);
    EXPECT_GE(ticks[2].first - start, 400ms);
    EXPECT_LT(ticks[2].first - start, 1500ms);
    EXPECT_NE(ticks[0].second, std::this_thread::get_id());
    EXPECT_EQ(ticks[0].second, ticks[2].second);
}

TEST_F(ThreadQueueTest, NamesTheThreadAfterTheLabelAndRunsBackgroundWorkAtTheLowestPriority)
{
    std::promise<std::pair<std::string, bool>> seen;
    auto timer = makeTimer(platform::QualityOfService::Background);
    timer->schedule(Clock::now(), 1s, 0ns);
    timer->setEventHandler([&, once = std::make_shared<std::once_flag>()] {
        std::call_once(*once, [&] {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            int policy = 0;
            sched_param parameters{};
            pthread_getschedparam(pthread_self(), &policy, &parameters);
            const auto lowest = policy == SCHED_IDLE || getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())) == 19;
            seen.set_value({name, lowest});
        });
    });
    timer->resume();

    auto future = seen.get_future();
    ASSERT_EQ(future.wait_for(2s), std::future_status::ready);
    const auto [name, lowest] = future.get();
    EXPECT_EQ(name, "listener");
    EXPECT_TRUE(lowest);
}

TEST_F(ThreadQueueTest, DoesNothingBeforeResumeOrWithoutAHandler)
{
    std::atomic<int> ticks = 0;
    auto idle = makeTimer();
    idle->schedule(Clock::now(), 1ms, 0ns);
    idle->setEventHandler([&] { ++ticks; });
    auto unhandled = makeTimer();
    unhandled->schedule(Clock::now(), 1ms, 0ns);
    unhandled->resume();

    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.load(), 0);

    idle->resume();
    EXPECT_TRUE(waitFor([&] { return ticks.load() > 0; }));
}

TEST_F(ThreadQueueTest, DestructionWaitsForARunningTickAndStopsTheTicks)
{
    std::atomic<int> ticks = 0;
    std::atomic<bool> inTick = false;
    auto timer = makeTimer();
    timer->schedule(Clock::now(), 1ms, 0ns);
    timer->setEventHandler([&] {
        inTick = true;
        std::this_thread::sleep_for(20ms);
        ++ticks;
        inTick = false;
    });
    timer->resume();
    ASSERT_TRUE(waitFor([&] { return inTick.load(); }));

    timer.reset();

    EXPECT_FALSE(inTick.load());
    const auto after = ticks.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.load(), after);
}

TEST_F(ThreadQueueTest, ATimerMayDestroyItselfAndItsQueueFromItsOwnTick)
{
    auto destroyed = std::make_shared<std::promise<void>>();
    auto holder = std::make_shared<std::unique_ptr<platform::TimerSource>>(makeTimer());
    auto& timer = **holder;
    timer.schedule(Clock::now(), 1ms, 0ns);
    timer.setEventHandler([holder, destroyed] {
        if (*holder) {
            // The timer holds the last reference to its queue, whose thread this is.
            holder->reset();
            destroyed->set_value();
        }
    });
    holder.reset();
    timer.resume();

    EXPECT_EQ(destroyed->get_future().wait_for(2s), std::future_status::ready);
}

} // namespace
