#pragma once

#include "platform/application.h"

#include <cstdint>
#include <optional>

namespace platform {

/// The application object on the desktop: hides and raises our Qt top-level windows and gives the focus
/// back to the window of the other application that had it before we were activated. GUI thread only.
class DesktopApplication final : public Application
{
public:
    /// Makes `event` the current event while it lives, as the event loop does around an input handler;
    /// then the one before it is current again.
    class CurrentEventScope
    {
    public:
        CurrentEventScope(DesktopApplication& application, Event event);
        CurrentEventScope(const CurrentEventScope&) = delete;
        CurrentEventScope& operator=(const CurrentEventScope&) = delete;
        ~CurrentEventScope();

    private:
        DesktopApplication& m_application;
        std::optional<Event> m_previous;
    };

    [[nodiscard]] std::optional<Event> currentEvent() const override;
    void activate() override;
    void hide() override;
    void terminate() override;

private:
    std::optional<Event> m_currentEvent;
    /// The window that was active when we were activated; it gets the focus back when we hide.
    std::optional<std::uint32_t> m_previousWindow;
};

} // namespace platform
