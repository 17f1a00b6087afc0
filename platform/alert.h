#pragma once

#include <QString>
#include <QStringList>

namespace platform {

enum class AlertStyle
{
    Warning,
    Informational,
    Critical,
};

struct Alert
{
    QString messageText;
    QString informativeText;
    AlertStyle alertStyle = AlertStyle::Warning;
    /// Titles of the buttons, the default one first.
    QStringList buttons;
};

/// Shows alerts. GUI thread only.
class Alerts
{
public:
    virtual ~Alerts() = default;

    /// Shows the alert and returns once one of its buttons has been pressed.
    virtual void runModal(const Alert& alert) = 0;
};

} // namespace platform
