#pragma once

#include <QObject>

#include <chrono>
#include <functional>

namespace platform {

using Task = std::function<void()>;

/// The GUI thread's event loop: posted tasks run one at a time, in a later turn of the loop, in the order
/// they were posted.
class EventLoop
{
public:
    virtual ~EventLoop() = default;

    /// Thread-safe.
    virtual void post(Task task) = 0;
    /// Runs the task once, no earlier than `delay` from now. Thread-safe.
    virtual void postDelayed(std::chrono::milliseconds delay, Task task) = 0;
};

/// The event loop of the running QCoreApplication. Tasks not yet run when it is destroyed are dropped with it:
/// whatever they hold is released then, and whatever they reach need only live until then. Create and destroy
/// it on the GUI thread, once nothing posts any more.
class QtEventLoop final : public EventLoop
{
public:
    void post(Task task) override;
    void postDelayed(std::chrono::milliseconds delay, Task task) override;

private:
    // The tasks' receiver: its pending calls and its timers go with it.
    QObject m_receiver;
};

} // namespace platform
