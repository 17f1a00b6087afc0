#include "app/velmora_app.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// Long enough for a read of a slow owner to end, which it does at once when interrupted.
constexpr auto watcherPatience = std::chrono::seconds(1);

} // namespace

VelmoraApp::VelmoraApp()
    : m_clipboard(platform::createClipboard()), m_hotKeys(platform::createHotKeys()),
      m_keyboard(platform::createKeyboard()), m_appDelegate({*m_clipboard, m_eventLoop, m_timers, m_application,
                                                             *m_hotKeys, *m_keyboard, m_screens, m_tray, m_alerts})
{}

VelmoraApp::~VelmoraApp()
{
    // Nothing may post to the event loop while it drops what is queued.
    m_appDelegate.clipboardManager().stopOptimizedClipboardListener();
}

int VelmoraApp::run()
{
    m_eventLoop.post([this] { m_appDelegate.applicationDidFinishLaunching(); });
    const int status = QApplication::exec();
    // Quitting takes two seconds at most, whatever the watcher is doing.
    if (m_appDelegate.clipboardManager().stopOptimizedClipboardListener(watcherPatience) ==
        platform::TimerStop::Abandoned) {
        // The watcher's tick still reaches the history, the clipboard and the event loop: the process ends
        // without destroying them.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

void VelmoraApp::requestToggle()
{
    emit m_appDelegate.TogglePopover();
}
