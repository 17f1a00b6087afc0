#pragma once

#include "platform/event_loop.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

/// Runs nothing until the test drains it; tasks may come from any thread, delayed ones wait for its clock.
class FakeEventLoop final : public platform::EventLoop
{
public:
    void post(platform::Task task) override { postDelayed(std::chrono::milliseconds(0), std::move(task)); }
    void postDelayed(std::chrono::milliseconds delay, platform::Task task) override
    {
        const std::lock_guard lock(m_pendingMutex);
        m_pending.push_back({m_now + delay, std::move(task)});
    }

    /// Runs the tasks that are due, including those they post, until none is left; returns how many ran.
    std::size_t runPending() { return advance(std::chrono::milliseconds(0)); }
    /// Moves the clock forward, then runs what is due; returns how many ran.
    std::size_t advance(std::chrono::milliseconds duration)
    {
        std::unique_lock lock(m_pendingMutex);
        const auto until = m_now + duration;
        std::size_t ran = 0;
        // Earliest first, posting order among equals; a task sees the clock at its own deadline.
        for (auto due = std::ranges::min_element(m_pending, {}, &Pending::first);
             due != m_pending.end() && due->first <= until;
             due = std::ranges::min_element(m_pending, {}, &Pending::first)) {
            m_now = due->first;
            auto task = std::move(due->second);
            m_pending.erase(due);
            lock.unlock();
            task();
            // Not under the lock: what the task kept alive may post more work as it goes.
            task = nullptr;
            ++ran;
            lock.lock();
        }
        m_now = until;
        return ran;
    }

    /// Runs what is pending, then lets Qt delete, lay out and repaint: the state a user would see next.
    void settle()
    {
        runPending();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    /// Tasks posted and not yet run, delayed ones included.
    [[nodiscard]] std::size_t pendingCount() const
    {
        const std::lock_guard lock(m_pendingMutex);
        return m_pending.size();
    }

private:
    // A task and when it is due.
    using Pending = std::pair<std::chrono::milliseconds, platform::Task>;

    mutable std::mutex m_pendingMutex;
    std::vector<Pending> m_pending;
    std::chrono::milliseconds m_now{0};
};
