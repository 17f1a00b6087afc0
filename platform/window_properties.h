#pragma once

class QByteArray;
class QWindow;

namespace platform {

// Window-manager hints that Qt has no API for. Off X11 they do nothing.

/// Puts a top-level window on every virtual desktop. Window managers drop the hint when a window is
/// withdrawn, so call it each time the window is shown, before and after the show.
void setOnAllDesktops(QWindow& window);

/// Names the window's application for window managers and scripts (WM_CLASS), whatever name the
/// program was started under: `instance` lower case by convention, `windowClass` capitalised.
void setWindowClass(QWindow& window, const QByteArray& instance, const QByteArray& windowClass);

/// Whether a compositing manager runs, so that translucent pixels blend with what is behind them
/// instead of showing black.
[[nodiscard]] bool hasCompositor();

} // namespace platform
