#pragma once

#include "platform/event_loop.h"

#include <QCoreApplication>
#include <QEvent>

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <utility>

/// Runs nothing until the test drains it; tasks may come from any thread, delayed ones wait for its clock.
class FakeEventLoop final : public platform::EventLoop
{
public:
    void post(platform::Task task) override { postDelayed(std::chrono::milliseconds(0), std::move(task)); }
    void postDelayed(std::chrono::milliseconds delay, platform::Task task) override
    {
        const std::lock_guard lock(m_pendingMutex);
        m_pending.emplace(m_now + delay, std::move(task));
    }

    /// Runs the tasks that are due, including those they post, until none is left.
    void runPending() { advance(std::chrono::milliseconds(0)); }
    /// Moves the clock forward, then runs what is due.
    void advance(std::chrono::milliseconds duration)
    {
        std::unique_lock lock(m_pendingMutex);
        const auto until = m_now + duration;
        // Earliest first, posting order among equals; a task sees the clock at its own deadline.
        while (!m_pending.empty() && m_pending.begin()->first <= until) {
            auto due = m_pending.extract(m_pending.begin());
            m_now = due.key();
            lock.unlock();
            // Gone before the lock is taken again: what the task kept alive may post more work as it goes.
            std::exchange(due, {}).mapped()();
            lock.lock();
        }
        m_now = until;
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
    mutable std::mutex m_pendingMutex;
    // Tasks by when they are due.
    std::multimap<std::chrono::milliseconds, platform::Task> m_pending;
    std::chrono::milliseconds m_now{0};
};
