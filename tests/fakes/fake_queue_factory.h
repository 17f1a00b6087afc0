#pragma once

#include "platform/dispatch.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/// What a test sees of one timer source: how it was set up, and a trigger for its ticks.
/// Outlives the timer, so a test can check that a destroyed timer no longer fires.
class FakeTimer
{
public:
    struct Schedule
    {
        std::chrono::steady_clock::time_point deadline;
        std::chrono::nanoseconds repeating;
        std::chrono::nanoseconds leeway;
    };

    FakeTimer(std::string queueLabel, platform::QualityOfService queueQualityOfService)
        : m_queueLabel(std::move(queueLabel)), m_queueQualityOfService(queueQualityOfService)
    {
    }

    /// Runs one tick on the calling thread, as the queue would at a deadline. Does nothing before
    /// `resume()` or once the timer is gone; returns whether the handler ran.
    bool fire();

    [[nodiscard]] const std::string& queueLabel() const { return m_queueLabel; }
    [[nodiscard]] platform::QualityOfService queueQualityOfService() const { return m_queueQualityOfService; }
    [[nodiscard]] const std::optional<Schedule>& schedule() const { return m_schedule; }
    [[nodiscard]] bool hasHandler() const { return static_cast<bool>(m_handler); }
    [[nodiscard]] bool isResumed() const { return m_resumed; }
    [[nodiscard]] bool isDestroyed() const { return m_destroyed; }

private:
    friend class FakeTimerSource;

    std::string m_queueLabel;
    platform::QualityOfService m_queueQualityOfService;
    std::optional<Schedule> m_schedule;
    platform::Task m_handler;
    bool m_resumed = false;
    bool m_destroyed = false;
};

/// Makes queues whose timers tick only when the test fires them. Test thread only.
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
    /// Every timer made on the factory's queues, in order of creation.
    [[nodiscard]] const std::vector<std::shared_ptr<FakeTimer>>& timers() const { return *m_timers; }

private:
    std::vector<QueueRecord> m_queues;
    std::shared_ptr<std::vector<std::shared_ptr<FakeTimer>>> m_timers =
        std::make_shared<std::vector<std::shared_ptr<FakeTimer>>>();
};
