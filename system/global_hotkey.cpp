#include "system/global_hotkey.h"

#include "platform/event_loop.h"
#include "platform/hot_keys.h"

#include <utility>

void registerGlobalHotkey(platform::HotKeys& hotKeys, platform::EventLoop& eventLoop, std::function<void()> pressed)
{
    // The post waits for the event loop, so that what the press causes runs in a turn of its own.
    auto postPress = [&eventLoop, pressed = std::move(pressed)] { eventLoop.post(pressed); };
    // Without the hot key the tray icon still opens the panel.
    static_cast<void>(hotKeys.registerHotKey(globalHotkey, std::move(postPress)));
}
