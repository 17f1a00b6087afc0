#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

/// Mouse-up event types an action can be sent on, as a bit mask.
using EventMask = std::uint64_t;
inline constexpr EventMask leftMouseUpMask = 1U << 2;
inline constexpr EventMask rightMouseUpMask = 1U << 4;

/// A status item as wide as its content.
inline constexpr double variableStatusItemLength = -1;

/// The clickable face of a status item. GUI thread only.
class StatusBarButton
{
public:
    using Action = std::function<void(StatusBarButton* sender)>;

    virtual ~StatusBarButton() = default;

    /// The system symbol `systemSymbolName`; `accessibilityDescription` names it for people who cannot see it.
    virtual void setImage(const QString& systemSymbolName, const QString& accessibilityDescription) = 0;
    /// Runs on the GUI thread, with this button as the sender, while the click is the application's
    /// current event.
    virtual void setAction(Action action) = 0;
    virtual void sendActionOn(EventMask mask) = 0;
};

/// An item in the system's status area (the tray), shown for as long as it is held.
class StatusItem
{
public:
    virtual ~StatusItem() = default;

    /// Null when there is no status area to show the item in.
    [[nodiscard]] virtual StatusBarButton* button() = 0;
};

class StatusBar
{
public:
    virtual ~StatusBar() = default;

    [[nodiscard]] virtual std::unique_ptr<StatusItem> statusItem(double length) = 0;
};

} // namespace platform
