#include "tests/fakes/fake_main_queue.h"

#include <algorithm>
#include <optional>
#include <utility>

void FakeMainQueue::async(platform::Task task)
{
    const std::lock_guard lock(m_pendingMutex);
    m_pending.push_back({m_now, m_nextOrder++, std::move(task)});
}

void FakeMainQueue::asyncAfter(std::chrono::nanoseconds delay, platform::Task task)
{
    const std::lock_guard lock(m_pendingMutex);
    m_delays.push_back(delay);
    m_pending.push_back({m_now + delay, m_nextOrder++, std::move(task)});
}

std::size_t FakeMainQueue::runPending()
{
    return runUntil(now());
}

std::size_t FakeMainQueue::advance(std::chrono::nanoseconds duration)
{
    return runUntil(now() + duration);
}

std::size_t FakeMainQueue::runUntil(std::chrono::nanoseconds until)
{
    std::size_t ran = 0;
    for (;;) {
        std::optional<Pending> next;
        {
            const std::lock_guard lock(m_pendingMutex);
            // Earliest deadline first, submission order among equals; the clock stops at each deadline
            // so that a task submitting another delayed one schedules it from its own time.
            const auto due = std::min_element(m_pending.begin(), m_pending.end(), [](const auto& a, const auto& b) {
                return std::pair(a.due, a.order) < std::pair(b.due, b.order);
            });
            if (due == m_pending.end() || due->due > until) {
                m_now = std::max(m_now, until);
                return ran;
            }
            m_now = std::max(m_now, due->due);
            next = std::move(*due);
            m_pending.erase(due);
        }
        next->task();
        ++ran;
    }
}

std::size_t FakeMainQueue::pendingCount() const
{
    const std::lock_guard lock(m_pendingMutex);
    return m_pending.size();
}

std::vector<std::chrono::nanoseconds> FakeMainQueue::delays() const
{
    const std::lock_guard lock(m_pendingMutex);
    return m_delays;
}

std::chrono::nanoseconds FakeMainQueue::now() const
{
    const std::lock_guard lock(m_pendingMutex);
    return m_now;
}
