#include "system/global_hotkey.h"

#include "platform/dispatch.h"
#include "platform/hot_key_service.h"
#include "platform/notification_center.h"
#include "system/four_char_code.h"

#include <utility>
#include <vector>

void registerGlobalHotkey(platform::HotKeyService& hotKeys, platform::MainQueue& mainQueue,
                          platform::NotificationCenter& notifications)
{
    const platform::EventHotKeyID hotKeyID{fourCharCode("Velm"), 1};
    std::vector<platform::EventTypeSpec> eventTypes{{platform::kEventClassKeyboard, platform::kEventHotKeyPressed}};

    // Every event that reaches the handler counts as this hot key. The post waits for the main queue so that
    // the observers run in a turn of their own, whichever thread the handler ran on.
    auto handler = [&mainQueue, &notifications](const platform::HotKeyEvent&) {
        mainQueue.async([&notifications] { notifications.post("TogglePopover"); });
        return platform::HotKeyStatus::NoError;
    };

    // Statuses are dropped: without the hot key the tray item still opens the panel.
    static_cast<void>(hotKeys.installEventHandler(std::move(eventTypes), std::move(handler)));
    static_cast<void>(hotKeys.registerEventHotKey(platform::kVK_ANSI_C, platform::cmdKey | platform::shiftKey,
                                                  hotKeyID, 0));
}
