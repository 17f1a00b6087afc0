#include "platform/background_timer.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <cassert>

#include <sys/resource.h>
#include <unistd.h>

namespace platform {

namespace {

// Linux ignores Qt's priorities under its normal scheduling; a nice value, which it keeps per thread, lets
// the GUI thread go first while a capture decodes, and still lets the capture run on a busy machine.
constexpr int backgroundNiceness = 10;

class QtBackgroundTimer final : public BackgroundTimer
{
public:
    QtBackgroundTimer(const QString& threadName, std::chrono::milliseconds interval, Task tick)
        : m_thread(new QThread), m_timer(new QTimer), m_soon(new QTimer)
    {
        m_thread->setObjectName(threadName);
        // Made here, living on the thread from its start; the thread's end deletes it there.
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(interval);
        m_timer->moveToThread(m_thread);
        QObject::connect(m_timer, &QTimer::timeout, m_timer, tick);
        m_soon->setSingleShot(true);
        m_soon->moveToThread(m_thread);
        QObject::connect(m_soon, &QTimer::timeout, m_soon, tick);
        QObject::connect(m_thread, &QThread::started, m_timer, [timer = m_timer, tick] {
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), backgroundNiceness);
            tick();
            timer->start();
        });
        QObject::connect(m_thread, &QThread::finished, m_timer, &QObject::deleteLater);
        QObject::connect(m_thread, &QThread::finished, m_soon, &QObject::deleteLater);
        // Not IdlePriority: Linux runs such a thread only on idle processors. The watcher's ticks also
        // capture, and a capture starved by a busy machine would take the owner for silent and lose the copy.
        m_thread->start(QThread::LowestPriority);
    }

    QtBackgroundTimer(const QtBackgroundTimer&) = delete;
    QtBackgroundTimer& operator=(const QtBackgroundTimer&) = delete;

    ~QtBackgroundTimer() override
    {
        if (!m_thread) {
            return;
        }
        // The loop ends after the tick that is running, if any; no other tick starts.
        m_thread->quit();
        if (QThread::currentThread() == m_thread) {
            // Destroyed by its own tick: a thread cannot wait for itself, so it goes once it has ended.
            QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
            return;
        }
        m_thread->wait();
        delete m_thread;
    }

    // Started by name: a functor posted from another thread would be freed on whichever thread lets it go last,
    // through Qt's reference count, which the thread sanitizer cannot see. Calls before the tick runs make one.
    void tickNow() override { QMetaObject::invokeMethod(m_soon, "start", Qt::QueuedConnection); }

    TimerStop stop(std::chrono::milliseconds patience) override
    {
        assert(QThread::currentThread() != m_thread && "a tick cannot wait for itself");
        if (!m_thread) {
            return TimerStop::Abandoned;
        }
        m_thread->quit();
        if (m_thread->wait(QDeadlineTimer(patience))) {
            return TimerStop::Stopped;
        }
        // Deleting a thread that runs would abort the process; it goes once its tick has ended, if ever.
        QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
        m_thread = nullptr;
        return TimerStop::Abandoned;
    }

private:
    QThread* m_thread;
    QTimer* m_timer;
    QTimer* m_soon;
};

} // namespace

std::unique_ptr<BackgroundTimer> QtBackgroundTimers::start(const QString& threadName,
                                                           std::chrono::milliseconds interval, Task tick)
{
    return std::make_unique<QtBackgroundTimer>(threadName, interval, std::move(tick));
}

} // namespace platform
