#include "system/global_hotkey.h"

#include "platform/event_loop.h"
#include "platform/hot_keys.h"
#include "system/notification_center.h"

void registerGlobalHotkey(platform::HotKeys& hotKeys, platform::EventLoop& eventLoop, NotificationCenter& notifications)
{
    // The post waits for the event loop, so that the observers run in a turn of their own.
    const auto pressed = [&eventLoop, &notifications] {
        eventLoop.post([&notifications] { notifications.post(notifications::togglePopover); });
    };
    // Without the hot key the tray icon still opens the panel.
    static_cast<void>(hotKeys.registerHotKey(globalHotkey, pressed));
}
