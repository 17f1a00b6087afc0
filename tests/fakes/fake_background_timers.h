#pragma once

#include "platform/background_timer.h"

#include <chrono>
#include <memory>
#include <vector>

/// Starts timers that tick only when the test fires them, on the test's thread. Must outlive them.
class FakeBackgroundTimers final : public platform::BackgroundTimers
{
public:
    using Timer = platform::Task;

    [[nodiscard]] std::unique_ptr<platform::BackgroundTimer>
    start(const QString& /*threadName*/, std::chrono::milliseconds /*interval*/, platform::Task tick) override
    {
        m_timers.push_back(std::make_shared<Timer>(std::move(tick)));
        return std::make_unique<Handle>(*this, m_timers.back());
    }

    /// The timers still running, in order of start.
    [[nodiscard]] const std::vector<std::shared_ptr<Timer>>& timers() const { return m_timers; }
    /// Runs one tick of every running timer, as their threads would.
    void fire() const
    {
        // A copy: a tick may stop its own timer.
        const auto running = m_timers;
        for (const auto& timer : running) {
            (*timer)();
        }
    }

private:
    struct Handle final : platform::BackgroundTimer
    {
        Handle(FakeBackgroundTimers& owner, std::shared_ptr<Timer> timer) : owner(owner), timer(std::move(timer)) {}
        ~Handle() override { std::erase(owner.m_timers, timer); }
        // At once, on the test's thread.
        void tickNow() override { (*timer)(); }
        platform::TimerStop stop(std::chrono::milliseconds /*patience*/) override
        {
            std::erase(owner.m_timers, timer);
            return platform::TimerStop::Stopped;
        }
        FakeBackgroundTimers& owner;
        std::shared_ptr<Timer> timer;
    };

    std::vector<std::shared_ptr<Timer>> m_timers;
};
