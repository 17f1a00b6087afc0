#pragma once

namespace platform {

/// The application as a whole on the desktop: activation, hiding, quitting. GUI thread only.
class Application
{
public:
    virtual ~Application() = default;

    /// Brings the application's windows to the front and gives them the focus, even while another
    /// application is active.
    virtual void activate() = 0;
    /// Hides every window of the application and gives the focus back to the window that was active before.
    virtual void hide() = 0;
    /// Ends the process with status 0 once the event loop unwinds.
    virtual void quit() = 0;
};

} // namespace platform
