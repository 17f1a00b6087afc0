#include "app/global_hotkey.h"

#include "platform/event_loop.h"
#include "platform/hot_keys.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <utility>

namespace {

/// What keeps the hot key from Velmora, where the user can do something about it; else nothing. Unsupported and
/// unavailable come from a desktop that grabs no keys at all or is going away, where advice would be noise.
QString missingHotkeyReason(platform::HotKeyStatus status)
{
    switch (status) {
    case platform::HotKeyStatus::Taken:
        return QCoreApplication::translate("AppDelegate", "another program holds Super+Shift+C");
    case platform::HotKeyStatus::Refused:
        return QCoreApplication::translate("AppDelegate", "the desktop refused Super+Shift+C");
    default:
        return {};
    }
}

} // namespace

void registerGlobalHotkey(platform::HotKeys& hotKeys, platform::EventLoop& eventLoop, std::function<void()> pressed)
{
    // The post waits for the event loop, so that what the press causes runs in a turn of its own.
    auto postPress = [&eventLoop, pressed = std::move(pressed)] { eventLoop.post(pressed); };
    const auto reason = missingHotkeyReason(hotKeys.registerHotKey(globalHotkey, std::move(postPress)));
    if (reason.isEmpty()) {
        return;
    }
    const auto advice = QCoreApplication::translate(
        "AppDelegate", "velmora: %1: open the panel from the tray icon, or bind \"velmora --toggle\" to a key in "
                       "your desktop's keyboard settings\n");
    std::fputs(qPrintable(advice.arg(reason)), stderr);
}
