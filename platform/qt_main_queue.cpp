#include "platform/qt_main_queue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace platform {

void QtMainQueue::async(Task task)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void QtMainQueue::asyncAfter(std::chrono::nanoseconds delay, Task task)
{
    // QTimer may only be started from the thread that owns the application object.
    auto start = [delay, task = std::move(task)]() mutable {
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay);
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, QCoreApplication::instance(), std::move(task));
    };
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(start), Qt::AutoConnection);
}

} // namespace platform
