#include "platform/clipboard.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/portal/portal_backend.h"
#include "platform/session.h"
#include "platform/wayland/wayland_backend.h"
#include "platform/x11/x11_backend.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcessEnvironment>

#include <cstdio>

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
bool inWaylandSession()
{
    return runsOnWayland() || platform::isWaylandSession(QProcessEnvironment::systemEnvironment());
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

// XDG_CURRENT_DESKTOP is a list: "ubuntu:GNOME" on Ubuntu.
bool isGnomeSession()
{
    return inWaylandSession() &&
           qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':')).contains(QLatin1String("GNOME"));
}

/// Where no keys can be pressed: the entry stays on the clipboard for the user to paste.
class NoKeyboard final : public Keyboard
{
public:
    void pressPasteChord() override {}
    [[nodiscard]] bool canPressKeys() const override { return false; }
};

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
    std::unique_ptr<Keyboard> keyboard;
    if (runsOnWayland()) {
        keyboard = wayland::createKeyboard();
        keyboard = keyboard ? std::move(keyboard) : portal::createKeyboard(std::make_unique<NoKeyboard>());
    } else {
        // XTest reaches X11 windows only; Mutter gives the portal's keys to every window.
        keyboard = isGnomeSession() ? portal::createKeyboard(x11::createKeyboard()) : x11::createKeyboard();
    }
    if (!keyboard->canPressKeys()) {
        std::fprintf(stderr, "velmora: %s\n",
                     qPrintable(QCoreApplication::translate(
                         "Keyboard", "this desktop offers no way to press keys: Velmora puts the entry on the "
                                     "clipboard; press Ctrl+V to paste it")));
    }
    return keyboard;
}

std::unique_ptr<HotKeys> createHotKeys()
{
    auto hotKeys = inWaylandSession() ? portal::createHotKeys() : nullptr;
    return hotKeys ? std::move(hotKeys) : x11::createHotKeys();
}

} // namespace platform
