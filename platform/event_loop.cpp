#include "platform/event_loop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace platform {

void QtEventLoop::post(Task task)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void QtEventLoop::postDelayed(std::chrono::milliseconds delay, Task task)
{
    // A QTimer may only be started on the thread that owns the application object.
    auto start = [delay, task = std::move(task)]() mutable {
        QTimer::singleShot(delay, Qt::PreciseTimer, QCoreApplication::instance(), std::move(task));
    };
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(start), Qt::AutoConnection);
}

} // namespace platform
