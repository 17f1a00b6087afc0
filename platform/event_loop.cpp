#include "platform/event_loop.h"

#include <QMetaObject>
#include <QTimer>

#include <utility>

namespace platform {

void QtEventLoop::post(Task task)
{
    QMetaObject::invokeMethod(&m_receiver, std::move(task), Qt::QueuedConnection);
}

void QtEventLoop::postDelayed(std::chrono::milliseconds delay, Task task)
{
    // A QTimer may only be started on the thread that owns it; a child of the receiver dies with it.
    auto start = [this, delay, task = std::move(task)]() mutable {
        auto* timer = new QTimer(&m_receiver);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, &m_receiver, [timer, task = std::move(task)] {
            timer->deleteLater();
            task();
        });
        timer->start(delay);
    };
    QMetaObject::invokeMethod(&m_receiver, std::move(start), Qt::AutoConnection);
}

} // namespace platform
