#pragma once

#include "platform/alert.h"

namespace platform {

/// Alerts as application-modal message boxes.
class QtAlerts final : public Alerts
{
public:
    void runModal(const Alert& alert) override;
};

} // namespace platform
