#pragma once

#include <optional>

namespace platform {

/// The kind of input event the application is handling; only the mouse-ups of the tray item matter.
enum class EventType
{
    LeftMouseUp,
    RightMouseUp,
    Other,
};

struct Event
{
    EventType type;
};

/// The shared application object: activation, hiding, termination.
/// GUI thread only.
class Application
{
public:
    virtual ~Application() = default;

    /// The event being handled right now, if any.
    [[nodiscard]] virtual std::optional<Event> currentEvent() const = 0;
    /// Brings the application to the front, even while another application is active.
    virtual void activate() = 0;
    /// Hides every window of the application and gives the focus back to the window that was active before.
    virtual void hide() = 0;
    /// Ends the process with status 0 once the event loop unwinds.
    virtual void terminate() = 0;
};

} // namespace platform
