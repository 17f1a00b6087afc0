#include "system/auto_paste.h"

#include "platform/application.h"
#include "platform/event_loop.h"
#include "platform/keyboard.h"
#include "system/notification_center.h"

#include <chrono>

void performAutoPaste(NotificationCenter& notifications, platform::Application& application,
                      platform::EventLoop& eventLoop, platform::Keyboard& keyboard)
{
    constexpr std::chrono::milliseconds pasteDelay{100};
    notifications.post(notifications::closePopover);
    application.hide();
    eventLoop.postDelayed(pasteDelay, [&keyboard] { keyboard.pressPasteChord(); });
}
