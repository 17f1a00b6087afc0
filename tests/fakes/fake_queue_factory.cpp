#include "tests/fakes/fake_queue_factory.h"

#include <utility>

namespace {

class FakeSerialQueue final : public platform::SerialQueue
{
public:
    explicit FakeSerialQueue(std::vector<FakeTimer*>& timers) : m_timers(timers) {}

    [[nodiscard]] std::unique_ptr<platform::TimerSource> makeTimerSource() override
    {
        return std::make_unique<FakeTimer>(m_timers);
    }

private:
    std::vector<FakeTimer*>& m_timers;
};

} // namespace

std::shared_ptr<platform::SerialQueue> FakeQueueFactory::makeSerialQueue(std::string label,
                                                                         platform::QualityOfService qos)
{
    m_queues.push_back({std::move(label), qos});
    return std::make_shared<FakeSerialQueue>(m_timers);
}
