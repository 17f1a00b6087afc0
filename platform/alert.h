#pragma once

#include <QString>

namespace platform {

/// An informational message with one button that dismisses it.
struct Alert
{
    QString text;
    QString informativeText;
    QString button;

    friend bool operator==(const Alert&, const Alert&) = default;
};

/// Shows alerts. GUI thread only.
class Alerts
{
public:
    virtual ~Alerts() = default;

    /// Shows the alert, application-modal, and returns once its button has been pressed.
    virtual void exec(const Alert& alert) = 0;
};

/// Alerts as message boxes.
class QtAlerts final : public Alerts
{
public:
    void exec(const Alert& alert) override;
};

} // namespace platform
