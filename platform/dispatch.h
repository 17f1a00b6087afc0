#pragma once

#include <chrono>
#include <functional>

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

} // namespace platform
