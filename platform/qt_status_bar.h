#pragma once

#include "platform/application.h"
#include "platform/dispatch.h"
#include "platform/status_bar.h"

#include <functional>

namespace platform {

/// Status items as system tray icons (StatusNotifierItem or XEmbed, whichever Qt finds). A left click
/// counts as a left mouse-up, a right click as a right mouse-up; with no tray at all, items have no button.
class QtStatusBar final : public StatusBar
{
public:
    /// Runs `task` while `event` is the application's current event.
    using EventScope = std::function<void(Event event, const Task& task)>;

    explicit QtStatusBar(EventScope eventScope) : m_eventScope(std::move(eventScope)) {}

    [[nodiscard]] std::unique_ptr<StatusItem> statusItem(double length) override;

private:
    EventScope m_eventScope;
};

} // namespace platform
