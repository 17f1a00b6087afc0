#pragma once

#include "platform/alert.h"
#include "tests/fakes/call_log.h"

#include <vector>

/// Records the alerts it shows; each returns at once, as if its button had been pressed.
class FakeAlerts final : public platform::Alerts
{
public:
    explicit FakeAlerts(CallLog& log) : m_log(log) {}

    void exec(const platform::Alert& alert) override
    {
        m_log.push_back(Call::ShowAlert);
        m_alerts.push_back(alert);
    }

    [[nodiscard]] const std::vector<platform::Alert>& alerts() const { return m_alerts; }

private:
    CallLog& m_log;
    std::vector<platform::Alert> m_alerts;
};
