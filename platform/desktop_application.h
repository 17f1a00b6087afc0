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
    DesktopApplication();
    DesktopApplication(const DesktopApplication&) = delete;
    DesktopApplication& operator=(const DesktopApplication&) = delete;
    ~DesktopApplication() override;

    void activate() override;
    void hide() override;
    void quit() override;

private:
    std::unique_ptr<x11::ForeignWindowTracker> m_foreignWindows;
    /// The window that was active when we were activated; it gets the focus back when we hide.
    std::optional<std::uint32_t> m_previousWindow;
};

} // namespace platform
