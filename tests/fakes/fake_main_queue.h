#pragma once

#include "platform/dispatch.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <vector>

/// A main queue that runs nothing until the test says so. Tasks may be submitted from any thread;
/// they run on the thread that drains the queue. Delayed tasks wait for a clock the test advances.
class FakeMainQueue final : public platform::MainQueue
{
public:
    void async(platform::Task task) override;
    void asyncAfter(std::chrono::nanoseconds delay, platform::Task task) override;

    /// Runs the tasks that are due, including those they submit, until none is left; returns how many ran.
    std::size_t runPending() { return advance(std::chrono::nanoseconds(0)); }
    /// Moves the clock forward, then runs what is due; returns how many ran.
    std::size_t advance(std::chrono::nanoseconds duration);

    /// Tasks submitted and not yet run, delayed ones included.
    [[nodiscard]] std::size_t pendingCount() const;
    /// The delay of every `asyncAfter`, in order.
    [[nodiscard]] std::vector<std::chrono::nanoseconds> delays() const;

private:
    struct Pending
    {
        std::chrono::nanoseconds due;
        platform::Task task;
    };

    mutable std::mutex m_pendingMutex;
    std::vector<Pending> m_pending;
    std::vector<std::chrono::nanoseconds> m_delays;
    std::chrono::nanoseconds m_now{0};
};
