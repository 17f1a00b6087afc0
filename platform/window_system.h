#pragma once

#include <QAbstractNativeEventFilter>
#include <QWindow>

#include <memory>
#include <optional>

namespace platform {

namespace x11 {
struct Ewmh;
} // namespace x11

/// What Qt has no call for, asked of the desktop's window manager (EWMH on X11). Without an X11 display
/// the setters do nothing and the queries find nothing. With one, its loss ends the process, saying so in
/// one line. GUI thread only.
class WindowSystem final : private QAbstractNativeEventFilter
{
public:
    WindowSystem();
    ~WindowSystem() override;

    /// Puts a top-level window on every virtual desktop. Window managers drop the hint when a window is
    /// withdrawn, so call it each time the window is shown, before and after the show.
    void setOnAllDesktops(QWindow& window) const;
    /// Whether a compositing manager runs, so that translucent pixels blend with what is behind them
    /// instead of showing black.
    [[nodiscard]] bool isCompositingActive() const;
    /// Activates a window of any application, as a pager would, or gives it the input focus where no window
    /// manager does that. A window that has gone is left alone.
    void forceActiveWindow(WId window) const;
    /// Whether the active window (`_NET_ACTIVE_WINDOW` under an EWMH window manager, else the input focus) is
    /// one of this application's.
    [[nodiscard]] bool isOwnWindowActive() const;
    /// The active window if it belongs to another application, else the last one of another application
    /// that was: showing a window of ours can make it active before we get to ask.
    [[nodiscard]] std::optional<WId> foreignActiveWindow() const;

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void noteActiveWindow();

    std::unique_ptr<x11::Ewmh> m_ewmh;
    std::optional<WId> m_lastForeignWindow;
};

} // namespace platform
