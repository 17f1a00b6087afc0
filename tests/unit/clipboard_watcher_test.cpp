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

template <typename Predicate>
bool waitFor(Predicate predicate, std::chrono::milliseconds timeout = 3s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class ClipboardWatcherTest : public ::testing::Test
{
protected:
    FakePasteboard pasteboard;
    FakeMainQueue mainQueue;
    platform::ThreadQueueFactory queues;
};

TEST_F(ClipboardWatcherTest, CapturesACopyWithinAboutHalfASecond)
{
    pasteboard.copyText("before");
    const auto manager = ClipboardManager::create(pasteboard, mainQueue, queues);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(mainQueue.pendingCount(), 0u);

    pasteboard.setContent(std::nullopt, "copied");
    const auto copied = std::chrono::steady_clock::now();
    pasteboard.setChangeCount(pasteboard.changeCount() + 1);

    ASSERT_TRUE(waitFor([&] { return mainQueue.pendingCount() > 0; }));
    EXPECT_LT(std::chrono::steady_clock::now() - copied, 1500ms);
    mainQueue.runPending();
    ASSERT_EQ(manager->history().size(), 1u);
    EXPECT_EQ(manager->history().front().text(), "copied");
}

TEST_F(ClipboardWatcherTest, CopyBackRacingTheTicksKeepsOneEntry)
{
    pasteboard.copyText("first");
    const auto manager = ClipboardManager::create(pasteboard, mainQueue, queues);
    pasteboard.copyText("second");
    ASSERT_TRUE(waitFor([&] { return mainQueue.pendingCount() > 0; }));
    mainQueue.runPending();
    ASSERT_EQ(manager->history().size(), 1u);

    // Copy back while the tick reads and writes the same count from its own thread.
    for (int round = 0; round < 20; ++round) {
        manager->copyItem(manager->history().front());
        std::this_thread::sleep_for(3ms);
        mainQueue.runPending();
    }
    std::this_thread::sleep_for(600ms);
    mainQueue.runPending();

    ASSERT_EQ(manager->history().size(), 1u);
    EXPECT_EQ(manager->history().front().text(), "second");
}

// Holds the tick inside changeCount() until the test lets it go.
class GatedPasteboard final : public platform::Pasteboard
{
public:
    [[nodiscard]] std::int64_t changeCount() const override
    {
        if (m_gateArmed.exchange(false)) {
            m_entered.set_value();
            m_release.get_future().wait();
        }
        return 1;
    }
    [[nodiscard]] std::optional<std::vector<std::shared_ptr<const platform::Image>>> readImages() override
    {
        return std::nullopt;
    }
    [[nodiscard]] std::optional<QString> string() override { return std::nullopt; }
    void clearContents() override {}
    void setString(const QString&) override {}
    void writeObjects(const std::vector<std::shared_ptr<const platform::Image>>&) override {}

    void arm() { m_gateArmed = true; }
    std::future<void> entered() { return m_entered.get_future(); }
    void release() { m_release.set_value(); }

private:
    mutable std::atomic<bool> m_gateArmed = false;
    mutable std::promise<void> m_entered;
    mutable std::promise<void> m_release;
};

TEST_F(ClipboardWatcherTest, TheStoreMayDieInATickOnTheWatcherThread)
{
    GatedPasteboard gated;
    auto manager = ClipboardManager::create(gated, mainQueue, queues);
    std::weak_ptr<ClipboardManager> weakManager = manager;
    auto entered = gated.entered();
    gated.arm();
    ASSERT_EQ(entered.wait_for(2s), std::future_status::ready);

    // The tick now holds the only strong reference; it drops it, and with it the timer and the queue,
    // on the queue's own thread.
    manager.reset();
    gated.release();

    EXPECT_TRUE(waitFor([&] { return weakManager.expired(); }));
    EXPECT_EQ(mainQueue.pendingCount(), 0u);
}

} // namespace
