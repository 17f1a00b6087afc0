#include "tests/fakes/fake_event_loop.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <utility>

void FakeEventLoop::post(platform::Task task)
{
    const std::lock_guard lock(m_pendingMutex);
    m_pending.push_back({m_now, std::move(task)});
}

void FakeEventLoop::postDelayed(std::chrono::milliseconds delay, platform::Task task)
{
    const std::lock_guard lock(m_pendingMutex);
    m_pending.push_back({m_now + delay, std::move(task)});
}

std::size_t FakeEventLoop::advance(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_pendingMutex);
    const auto until = m_now + duration;
    std::size_t ran = 0;
    for (;;) {
        // Earliest deadline first, posting order among equals (the first minimum); the clock stops at
        // each deadline so that a task posting another delayed one schedules it from its own time.
        const auto due = std::ranges::min_element(m_pending, {}, &Pending::due);
        if (due == m_pending.end() || due->due > until) {
            m_now = until;
            return ran;
        }
        m_now = due->due;
        auto task = std::move(due->task);
        m_pending.erase(due);
        lock.unlock();
        task();
        // Not under the lock: what the task kept alive may post more work as it goes.
        task = nullptr;
        ++ran;
        lock.lock();
    }
}

std::size_t FakeEventLoop::pendingCount() const
{
    const std::lock_guard lock(m_pendingMutex);
    return m_pending.size();
}

void FakeEventLoop::settle()
{
    runPending();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}
