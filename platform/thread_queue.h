#pragma once

#include "platform/dispatch.h"

namespace platform {

/// Makes serial queues that each run on a thread of their own, at the priority their quality of
/// service asks for. The thread ends once the queue and every timer made on it are gone.
class ThreadQueueFactory final : public QueueFactory
{
public:
    [[nodiscard]] std::shared_ptr<SerialQueue> makeSerialQueue(std::string label, QualityOfService qos) override;
};

} // namespace platform
