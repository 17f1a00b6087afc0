#pragma once

#include "app/app_delegate.h"
#include "platform/alert.h"
#include "platform/background_timer.h"
#include "platform/clipboard.h"
#include "platform/desktop_application.h"
#include "platform/event_loop.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/qt_screens.h"
#include "platform/tray.h"

#include <memory>

/// The program: the desktop's services and the one delegate. It opens no window of its own; the tray
/// icon, the hot key and the panel are all there is to see. Needs the QApplication; GUI thread only.
class VelmoraApp final
{
public:
    /// The history store is recording copies once this returns.
    VelmoraApp();
    VelmoraApp(const VelmoraApp&) = delete;
    VelmoraApp& operator=(const VelmoraApp&) = delete;
    ~VelmoraApp();

    /// Finishes launching once the event loop runs, then runs the loop until the application quits;
    /// the exit status. Ends the process itself when the watcher is at work it cannot leave.
    int run();

    [[nodiscard]] AppDelegate& appDelegate() { return m_appDelegate; }

    /// Toggles the panel as the hot key does; for requests from outside the process.
    void requestToggle();

private:
    platform::QtBackgroundTimers m_timers;
    std::unique_ptr<platform::Clipboard> m_clipboard;
    // After the clipboard: the captures still queued at the end hold the history store, which reads the
    // clipboard; the event loop drops them, and the store goes, before the clipboard does.
    platform::QtEventLoop m_eventLoop;
    platform::DesktopApplication m_application;
    std::unique_ptr<platform::HotKeys> m_hotKeys;
    std::unique_ptr<platform::Keyboard> m_keyboard;
    platform::QtScreens m_screens;
    platform::QtTray m_tray;
    platform::QtAlerts m_alerts;
    AppDelegate m_appDelegate;
};
