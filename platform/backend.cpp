#include "platform/clipboard.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/portal/portal_backend.h"
#include "platform/wayland/wayland_backend.h"
#include "platform/x11/x11_backend.h"

#include <QGuiApplication>

#include <sys/resource.h>

namespace platform {

namespace {

// Qt's Wayland platforms are "wayland" and "wayland-egl"; the session chose one only where the compositor
// offers data-control.
bool runsOnWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// Under XWayland too: the desktop's portal reaches native windows, where an X11 grab does not.
bool isWaylandSession()
{
    return runsOnWayland() || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

// Every reader of our copy, and every descriptor another client sends, takes one: under the usual soft
// limit a flood of requests would break the Wayland connection, and the process with it.
void raiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

std::unique_ptr<Clipboard> createClipboard()
{
    raiseOpenFileLimit();
    // A platform forced on a compositor without data-control leaves Qt's clipboard, which holds only our writes.
    auto clipboard = runsOnWayland() ? wayland::createClipboard() : nullptr;
    return clipboard ? std::move(clipboard) : x11::createClipboard();
}

std::unique_ptr<Keyboard> createKeyboard()
{
    return runsOnWayland() ? wayland::createKeyboard() : x11::createKeyboard();
}

std::unique_ptr<HotKeys> createHotKeys()
{
    auto hotKeys = isWaylandSession() ? portal::createHotKeys() : nullptr;
    return hotKeys ? std::move(hotKeys) : x11::createHotKeys();
}

} // namespace platform
