// The watcher on its real background thread, with the pasteboard and main queue faked.

#include "engine/clipboard_manager.h"
#include "platform/thread_queue.h"

#include "tests/fakes/fake_main_queue.h"
#include "tests/fakes/fake_pasteboard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Holds the next tick inside changeCount() until the test lets it go.
struct GatedPasteboard final : FakePasteboard
{
    [[nodiscard]] std::int64_t changeCount() const override
    {
        if (armed.exchange(false)) {
            entered.set_value();
            release.get_future().wait();
        }
        return FakePasteboard::changeCount();
    }

    mutable std::atomic<bool> armed = false;
    mutable std::promise<void> entered;
    mutable std::promise<void> release;
};

TEST(ClipboardWatcherTest, TheStoreMayDieInATickOnTheWatcherThread)
{
    GatedPasteboard pasteboard;
    FakeMainQueue mainQueue;
    platform::ThreadQueueFactory queues;
    auto manager = ClipboardManager::create(pasteboard, mainQueue, queues);
    const std::weak_ptr<ClipboardManager> weakManager = manager;
    auto entered = pasteboard.entered.get_future();
    pasteboard.armed = true;
    ASSERT_EQ(entered.wait_for(2s), std::future_status::ready);

    // The tick now holds the only strong reference; it drops it, and with it the timer and the queue,
    // on the queue's own thread.
    manager.reset();
    pasteboard.release.set_value();

    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!weakManager.expired() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_TRUE(weakManager.expired());
    EXPECT_EQ(mainQueue.pendingCount(), 0u);
}

} // namespace
