#pragma once

#include "platform/application.h"
#include "platform/window_system.h"

#include <optional>

namespace platform {

/// The application object on the desktop: hides and raises our Qt top-level windows and gives the focus
/// back to the window of the other application that had it before we were activated. GUI thread only.
class DesktopApplication final : public Application
{
public:
    void activate() override;
    void hide() override;
    void quit() override;

private:
    WindowSystem m_windowSystem;
    /// The window that was active when we were activated; it gets the focus back when we hide.
    std::optional<WId> m_previousWindow;
};

} // namespace platform
