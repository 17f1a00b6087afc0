#include "app/auto_paste.h"

#include "platform/application.h"
#include "platform/event_loop.h"
#include "platform/keyboard.h"

#include <chrono>

void performAutoPaste(const std::function<void()>& closePanel, platform::Application& application,
                      platform::EventLoop& eventLoop, platform::Keyboard& keyboard)
{
    constexpr std::chrono::milliseconds pasteDelay{100};
    closePanel();
    application.hide();
    eventLoop.postDelayed(pasteDelay, [&keyboard] { keyboard.pressPasteChord(); });
}
