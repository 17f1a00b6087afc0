#pragma once

#include "platform/dispatch.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

/// A timer source that ticks only when the test fires it. Test thread only.
class FakeTimer final : public platform::TimerSource
{
public:
    /// Lists itself in `timers` for as long as it lives.
    explicit FakeTimer(std::vector<FakeTimer*>& timers) : m_timers(timers) { m_timers.push_back(this); }
    ~FakeTimer() override { std::erase(m_timers, this); }
    FakeTimer(const FakeTimer&) = delete;

    void schedule(std::chrono::steady_clock::time_point, std::chrono::nanoseconds, std::chrono::nanoseconds) override {}
    void setEventHandler(platform::Task handler) override { m_handler = std::move(handler); }
    void resume() override { m_resumed = true; }

    /// Runs one tick on the calling thread, as the queue would at a deadline; nothing before `resume()`.
    void fire()
    {
        // A copy: the tick may destroy its own timer.
        if (const auto handler = m_handler; m_resumed && handler) {
            handler();
        }
    }
    [[nodiscard]] bool isResumed() const { return m_resumed; }

private:
    std::vector<FakeTimer*>& m_timers;
    platform::Task m_handler;
    bool m_resumed = false;
};

/// Makes queues whose timers tick only when the test fires them. Must outlive them. Test thread only.
class FakeQueueFactory final : public platform::QueueFactory
{
public:
    struct QueueRecord
    {
        std::string label;
        platform::QualityOfService qualityOfService;
    };

    [[nodiscard]] std::shared_ptr<platform::SerialQueue> makeSerialQueue(std::string label,
                                                                         platform::QualityOfService qos) override;

    [[nodiscard]] const std::vector<QueueRecord>& queues() const { return m_queues; }
    /// The timers made on the factory's queues that are still alive, in order of creation.
    [[nodiscard]] const std::vector<FakeTimer*>& timers() const { return m_timers; }

private:
    std::vector<QueueRecord> m_queues;
    std::vector<FakeTimer*> m_timers;
};
