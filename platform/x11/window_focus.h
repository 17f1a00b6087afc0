#pragma once

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <functional>
#include <optional>

namespace platform::x11 {

/// An X window of any client.
using WindowId = std::uint32_t;

/// The window the user works in now: `_NET_ACTIVE_WINDOW` under an EWMH window manager, else the X input
/// focus. Nothing without an X11 display or while no window has the focus.
[[nodiscard]] std::optional<WindowId> activeWindow();

/// Asks the window manager to activate `window`, or gives it the input focus where there is none. A window
/// that has gone or cannot take the focus is left alone.
void activateWindow(WindowId window);

/// Remembers the last window of another application that was active, following `_NET_ACTIVE_WINDOW` in Qt's
/// event stream. Showing a window can make it active before its owner gets to ask who was active; this
/// still knows. Nothing without an EWMH window manager. GUI thread only.
class ForeignWindowTracker final : private QAbstractNativeEventFilter
{
public:
    /// `isOurs` tells the application's own windows apart.
    explicit ForeignWindowTracker(std::function<bool(WindowId)> isOurs);
    ForeignWindowTracker(const ForeignWindowTracker&) = delete;
    ForeignWindowTracker& operator=(const ForeignWindowTracker&) = delete;
    ~ForeignWindowTracker() override;

    [[nodiscard]] std::optional<WindowId> lastForeignWindow() const { return m_lastForeignWindow; }

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void update();

    std::function<bool(WindowId)> m_isOurs;
    /// The atom `_NET_ACTIVE_WINDOW`; 0 while not watching.
    std::uint32_t m_activeWindowAtom = 0;
    std::uint32_t m_root = 0;
    std::optional<WindowId> m_lastForeignWindow;
};

} // namespace platform::x11
