#include "tests/fakes/fake_queue_factory.h"

#include <utility>

class FakeTimerSource final : public platform::TimerSource
{
public:
    explicit FakeTimerSource(std::shared_ptr<FakeTimer> timer) : m_timer(std::move(timer)) {}
    ~FakeTimerSource() override
    {
        m_timer->m_destroyed = true;
        m_timer->m_handler = nullptr;
    }

    void schedule(std::chrono::steady_clock::time_point deadline, std::chrono::nanoseconds repeating,
                  std::chrono::nanoseconds leeway) override
    {
        m_timer->m_schedule = FakeTimer::Schedule{deadline, repeating, leeway};
    }
    void setEventHandler(platform::Task handler) override { m_timer->m_handler = std::move(handler); }
    void resume() override { m_timer->m_resumed = true; }

private:
    std::shared_ptr<FakeTimer> m_timer;
};

namespace {

class FakeSerialQueue final : public platform::SerialQueue
{
public:
    FakeSerialQueue(std::string label, platform::QualityOfService qos,
                    std::shared_ptr<std::vector<std::shared_ptr<FakeTimer>>> timers)
        : m_label(std::move(label)), m_qos(qos), m_timers(std::move(timers))
    {
    }

    [[nodiscard]] std::unique_ptr<platform::TimerSource> makeTimerSource() override
    {
        auto timer = std::make_shared<FakeTimer>(m_label, m_qos);
        m_timers->push_back(timer);
        return std::make_unique<FakeTimerSource>(timer);
    }

private:
    std::string m_label;
    platform::QualityOfService m_qos;
    std::shared_ptr<std::vector<std::shared_ptr<FakeTimer>>> m_timers;
};

} // namespace

bool FakeTimer::fire()
{
    if (!m_resumed || m_destroyed || !m_handler) {
        return false;
    }
    // A copy: the tick may destroy its own timer.
    const auto handler = m_handler;
    handler();
    return true;
}

std::shared_ptr<platform::SerialQueue> FakeQueueFactory::makeSerialQueue(std::string label,
                                                                         platform::QualityOfService qos)
{
    m_queues.push_back({label, qos});
    return std::make_shared<FakeSerialQueue>(std::move(label), qos, m_timers);
}
