#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace platform {

using Task = std::function<void()>;

/// The main queue: tasks run one at a time, in a later turn of the GUI thread's event loop.
class MainQueue
{
public:
    virtual ~MainQueue() = default;

    /// Thread-safe.
    virtual void async(Task task) = 0;
    /// Runs the task once, no earlier than `delay` from now. Thread-safe.
    virtual void asyncAfter(std::chrono::nanoseconds delay, Task task) = 0;
};

enum class QualityOfService
{
    Background,
    Utility,
    Default,
    UserInitiated,
};

/// A repeating timer whose handler runs on the serial queue it was made on. Its owner may destroy it
/// from any thread but the queue's own; after destruction the handler never runs again.
class TimerSource
{
public:
    virtual ~TimerSource() = default;

    virtual void schedule(std::chrono::steady_clock::time_point deadline, std::chrono::nanoseconds repeating,
                          std::chrono::nanoseconds leeway) = 0;
    virtual void setEventHandler(Task handler) = 0;
    virtual void resume() = 0;
};

/// A serial queue: its tasks run one at a time, off the GUI thread. Kept alive by the timers made on it.
class SerialQueue
{
public:
    virtual ~SerialQueue() = default;

    [[nodiscard]] virtual std::unique_ptr<TimerSource> makeTimerSource() = 0;
};

/// Makes serial queues.
class QueueFactory
{
public:
    virtual ~QueueFactory() = default;

    [[nodiscard]] virtual std::shared_ptr<SerialQueue> makeSerialQueue(std::string label, QualityOfService qos) = 0;
};

} // namespace platform
