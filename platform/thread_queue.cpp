#include "platform/thread_queue.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct TimerEntry
{
    Clock::time_point deadline;
    std::chrono::nanoseconds interval{0};
    // Shared, so that a tick can run it after its timer is gone.
    std::shared_ptr<const Task> handler;
    bool scheduled = false;
    bool resumed = false;
    bool running = false;

    [[nodiscard]] bool isArmed() const { return scheduled && resumed && handler; }
};

// What the queue's thread shares with its owner. The thread holds it too, so that a queue destroyed on
// its own thread can let the thread run on to its end after the queue object is gone.
struct QueueCore
{
    std::condition_variable wake;
    std::condition_variable handlerFinished;
    std::mutex mutex;
    // Guarded by mutex:
    std::vector<std::shared_ptr<TimerEntry>> timers;
    bool stopping = false;
    std::thread::id threadId;
};

void applyPriority(QualityOfService qos)
{
    switch (qos) {
    case QualityOfService::Background: {
        // SCHED_IDLE runs only when nothing else wants the processor; nice 19 is the fallback.
        sched_param parameters{};
        if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &parameters) != 0) {
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
        }
        break;
    }
    case QualityOfService::Utility:
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
        break;
    case QualityOfService::Default:
    case QualityOfService::UserInitiated:
        break;
    }
}

void applyName(const std::string& label)
{
    // Linux keeps 15 bytes of a thread's name: drop whole leading components of the reverse-DNS label,
    // which tell the least, until the rest fits.
    constexpr std::size_t maximumLength = 15;
    auto name = label;
    while (name.size() > maximumLength && name.find('.') != std::string::npos) {
        name.erase(0, name.find('.') + 1);
    }
    name.resize(std::min(name.size(), maximumLength));
    pthread_setname_np(pthread_self(), name.c_str());
}

void runQueue(const std::shared_ptr<QueueCore>& core)
{
    std::unique_lock lock(core->mutex);
    while (!core->stopping) {
        const auto next = std::min_element(core->timers.begin(), core->timers.end(), [](const auto& a, const auto& b) {
            if (a->isArmed() != b->isArmed()) {
                return a->isArmed();
            }
            return a->deadline < b->deadline;
        });
        if (next == core->timers.end() || !(*next)->isArmed()) {
            core->wake.wait(lock);
            continue;
        }
        const auto entry = *next;
        const auto now = Clock::now();
        if (now < entry->deadline) {
            core->wake.wait_until(lock, entry->deadline);
            continue;
        }
        if (entry->interval > std::chrono::nanoseconds(0)) {
            entry->deadline += entry->interval;
            // After a long stall (a suspended machine) fire once, not once per missed period.
            if (entry->deadline <= now) {
                entry->deadline = now + entry->interval;
            }
        } else {
            entry->scheduled = false;
        }
        const auto handler = entry->handler;
        entry->running = true;
        lock.unlock();
        (*handler)();
        lock.lock();
        entry->running = false;
        core->handlerFinished.notify_all();
    }
}

class ThreadQueue final : public SerialQueue, public std::enable_shared_from_this<ThreadQueue>
{
public:
    ThreadQueue(std::string label, QualityOfService qos) : m_core(std::make_shared<QueueCore>())
    {
        m_thread = std::thread([core = m_core, label = std::move(label), qos] {
            applyName(label);
            applyPriority(qos);
            runQueue(core);
        });
        const std::lock_guard lock(m_core->mutex);
        m_core->threadId = m_thread.get_id();
    }

    ~ThreadQueue() override
    {
        {
            const std::lock_guard lock(m_core->mutex);
            m_core->stopping = true;
        }
        m_core->wake.notify_all();
        // The last timer may die in its own tick, on this very thread, which then cannot join itself.
        if (std::this_thread::get_id() == m_thread.get_id()) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }

    [[nodiscard]] std::unique_ptr<TimerSource> makeTimerSource() override;

    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

private:
    std::shared_ptr<QueueCore> m_core;
    std::thread m_thread;

    friend class ThreadTimerSource;
};

class ThreadTimerSource final : public TimerSource
{
public:
    ThreadTimerSource(std::shared_ptr<ThreadQueue> queue, std::shared_ptr<TimerEntry> entry)
        : m_queue(std::move(queue)), m_core(m_queue->m_core), m_entry(std::move(entry))
    {
    }

    ~ThreadTimerSource() override
    {
        {
            std::unique_lock lock(m_core->mutex);
            std::erase(m_core->timers, m_entry);
            // A tick running elsewhere must end before the timer is gone; a tick destroying its own
            // timer ends after.
            if (std::this_thread::get_id() != m_core->threadId) {
                m_core->handlerFinished.wait(lock, [this] { return !m_entry->running; });
            }
        }
        m_queue.reset();
    }

    void schedule(Clock::time_point deadline, std::chrono::nanoseconds repeating,
                  std::chrono::nanoseconds /*leeway*/) override
    {
        // The deadline loop is as punctual as the scheduler allows: it has no slack to give.
        update([&] {
            m_entry->deadline = deadline;
            m_entry->interval = repeating;
            m_entry->scheduled = true;
        });
    }

    void setEventHandler(Task handler) override
    {
        auto shared = std::make_shared<const Task>(std::move(handler));
        update([&] { m_entry->handler = std::move(shared); });
    }

    void resume() override
    {
        update([&] { m_entry->resumed = true; });
    }

    ThreadTimerSource(const ThreadTimerSource&) = delete;
    ThreadTimerSource& operator=(const ThreadTimerSource&) = delete;

private:
    template <typename Change>
    void update(Change change)
    {
        // Notified under the lock: once it is released, a tick may destroy this timer.
        const std::lock_guard lock(m_core->mutex);
        change();
        m_core->wake.notify_all();
    }

    std::shared_ptr<ThreadQueue> m_queue;
    std::shared_ptr<QueueCore> m_core;
    std::shared_ptr<TimerEntry> m_entry;
};

std::unique_ptr<TimerSource> ThreadQueue::makeTimerSource()
{
    auto entry = std::make_shared<TimerEntry>();
    {
        const std::lock_guard lock(m_core->mutex);
        m_core->timers.push_back(entry);
    }
    return std::make_unique<ThreadTimerSource>(shared_from_this(), std::move(entry));
}

} // namespace

std::shared_ptr<SerialQueue> ThreadQueueFactory::makeSerialQueue(std::string label, QualityOfService qos)
{
    return std::make_shared<ThreadQueue>(std::move(label), qos);
}

} // namespace platform
