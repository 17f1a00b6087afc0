#pragma once

#include "platform/alert.h"

#include <functional>
#include <utility>
#include <vector>

/// Records the alerts it is asked to run; `whileRunning` runs inside `runModal`, as the user would
/// act while the alert is up.
class FakeAlerts final : public platform::Alerts
{
public:
    void setWhileRunning(std::function<void()> hook) { m_whileRunning = std::move(hook); }

    void runModal(const platform::Alert& alert) override
    {
        m_alerts.push_back(alert);
        if (m_whileRunning) {
            m_whileRunning();
        }
    }

    [[nodiscard]] const std::vector<platform::Alert>& alerts() const { return m_alerts; }

private:
    std::vector<platform::Alert> m_alerts;
    std::function<void()> m_whileRunning;
};
