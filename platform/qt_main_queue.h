#pragma once

#include "platform/dispatch.h"

namespace platform {

/// The main queue on the Qt event loop of the application's thread.
class QtMainQueue final : public MainQueue
{
public:
    void async(Task task) override;
    void asyncAfter(std::chrono::nanoseconds delay, Task task) override;
};

} // namespace platform
