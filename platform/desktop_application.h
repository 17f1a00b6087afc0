#pragma once

#include "platform/application.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

namespace x11 {
class ForeignWindowTracker;
} // namespace x11

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

    DesktopApplication();
    DesktopApplication(const DesktopApplication&) = delete;
    DesktopApplication& operator=(const DesktopApplication&) = delete;
    ~DesktopApplication() override;

    [[nodiscard]] std::optional<Event> currentEvent() const override;
    void activate() override;
    void hide() override;
    void terminate() override;

private:
    std::optional<Event> m_currentEvent;
    std::unique_ptr<x11::ForeignWindowTracker> m_foreignWindows;
    /// The window that was active when we were activated; it gets the focus back when we hide.
    std::optional<std::uint32_t> m_previousWindow;
};

} // namespace platform
