#pragma once

struct _XDisplay;

namespace platform::x11 {

/// The Xlib display of the application's own X connection (Qt's), or null when the application does not run
/// on X11. Owned by Qt; valid while the application object lives.
[[nodiscard]] _XDisplay* applicationDisplay();

/// Collects the X errors of the requests made while it lives, which would otherwise reach Qt's handler as
/// warnings, long after the request. GUI thread only; traps do not nest.
class ErrorTrap
{
public:
    explicit ErrorTrap(_XDisplay* display);
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    ~ErrorTrap();

    /// Waits until the server has handled every request made so far; true when one of those made since
    /// the trap was set failed.
    [[nodiscard]] bool failed();

private:
    _XDisplay* m_display;
};

} // namespace platform::x11
