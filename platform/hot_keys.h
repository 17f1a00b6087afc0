#pragma once

#include <QKeyCombination>

#include <functional>
#include <memory>

namespace platform {

enum class HotKeyStatus
{
    Registered,
    /// The desktop answers later, perhaps once it has asked the user; presses call back from then on.
    Requested,
    /// The desktop or the user declined the chord.
    Refused,
    /// Another client, or an earlier registration, holds the chord.
    Taken,
    /// A key or modifier this desktop has no way to grab.
    Unsupported,
    /// There is no desktop to grab keys on.
    Unavailable,
};

/// System-wide hot keys. GUI thread only.
class HotKeys
{
public:
    virtual ~HotKeys() = default;

    /// From now on each press of `chord`, whichever application has the focus, calls `pressed` on the GUI
    /// thread from the event loop; holding the chord down counts as one press. A refused registration
    /// changes nothing.
    [[nodiscard]] virtual HotKeyStatus registerHotKey(QKeyCombination chord, std::function<void()> pressed) = 0;
};

/// The hot keys of the session Velmora runs in: in a Wayland session the desktop's GlobalShortcuts portal
/// where one offers it, else grabs on the X server, which under XWayland reach X11 windows only. Must be
/// destroyed before the application object.
[[nodiscard]] std::unique_ptr<HotKeys> createHotKeys();

} // namespace platform
