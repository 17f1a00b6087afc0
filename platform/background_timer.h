#pragma once

#include "platform/event_loop.h"

#include <QString>

#include <chrono>
#include <memory>

namespace platform {

/// How stopping a timer within a time ended.
enum class TimerStop
{
    /// No tick runs, and none will.
    Stopped,
    /// A tick still ran when the time was up. It is left to run on its thread, which goes when it ends: the
    /// caller must end the process without destroying what the tick reaches.
    Abandoned,
};

/// A repeating timer that ticks on a thread of its own. Destroying it stops the ticks: once the destructor
/// has returned, no tick runs and none is running, unless it is destroyed by its own tick, which then ends
/// after, or a stop abandoned that tick.
class BackgroundTimer
{
public:
    virtual ~BackgroundTimer() = default;

    /// Runs one more tick on the timer's thread as soon as it is free, besides the regular ones; calls made before
    /// that tick has begun ask for it alone. Any thread.
    virtual void tickNow() = 0;
    /// Stops the ticks, waiting at most `patience` for the one that is running. Never from a tick.
    [[nodiscard]] virtual TimerStop stop(std::chrono::milliseconds patience) = 0;
};

/// Starts background timers.
class BackgroundTimers
{
public:
    virtual ~BackgroundTimers() = default;

    /// Calls `tick` at once, then every `interval`, on a new thread of the lowest priority named `threadName`.
    [[nodiscard]] virtual std::unique_ptr<BackgroundTimer> start(const QString& threadName,
                                                                 std::chrono::milliseconds interval, Task tick) = 0;
};

/// Each timer is a QThread at Qt's lowest priority running a QTimer.
class QtBackgroundTimers final : public BackgroundTimers
{
public:
    [[nodiscard]] std::unique_ptr<BackgroundTimer> start(const QString& threadName, std::chrono::milliseconds interval,
                                                         Task tick) override;
};

} // namespace platform
