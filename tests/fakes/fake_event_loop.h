#pragma once

#include "platform/event_loop.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <vector>

/// An event loop that runs nothing until the test says so. Tasks may be posted from any thread; they run
/// on the thread that drains the loop. Delayed tasks wait for a clock the test advances.
class FakeEventLoop final : public platform::EventLoop
{
public:
    void post(platform::Task task) override;
    void postDelayed(std::chrono::milliseconds delay, platform::Task task) override;

    /// Runs the tasks that are due, including those they post, until none is left; returns how many ran.
    std::size_t runPending() { return advance(std::chrono::milliseconds(0)); }
    /// Moves the clock forward, then runs what is due; returns how many ran.
    std::size_t advance(std::chrono::milliseconds duration);

    /// Runs what is pending, then lets Qt delete what was deferred and handle the events posted meanwhile
    /// (layouts, repaints): the state a user would see next.
    void settle();

    /// Tasks posted and not yet run, delayed ones included.
    [[nodiscard]] std::size_t pendingCount() const;

private:
    struct Pending
    {
        std::chrono::milliseconds due;
        platform::Task task;
    };

    mutable std::mutex m_pendingMutex;
    std::vector<Pending> m_pending;
    std::chrono::milliseconds m_now{0};
};
