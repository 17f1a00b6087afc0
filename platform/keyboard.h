#pragma once

#include <memory>

namespace platform {

/// Synthetic key strokes, as if typed on the keyboard, for the window that has the focus. GUI thread only.
class Keyboard
{
public:
    virtual ~Keyboard() = default;

    /// Presses and releases the desktop's paste chord, with none of the modifiers the user may still hold.
    virtual void pressPasteChord() = 0;
    /// Whether the desktop offers a way to press keys at all: where it does not, a paste leaves the entry on the
    /// clipboard for the user to paste.
    [[nodiscard]] virtual bool canPressKeys() const = 0;
};

/// Key strokes in the session Velmora runs in: a virtual keyboard on Wayland, the RemoteDesktop portal on
/// GNOME, XTest on X11 and XWayland; pressing nothing where the desktop offers no way, which it says on stderr.
[[nodiscard]] std::unique_ptr<Keyboard> createKeyboard();

} // namespace platform
