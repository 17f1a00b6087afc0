#pragma once

#include "app/app_delegate.h"
#include "app/floating_panel_factory.h"
#include "platform/accessibility.h"
#include "platform/desktop_application.h"
#include "platform/hot_key_service.h"
#include "platform/key_event_service.h"
#include "platform/notification_center.h"
#include "platform/qt_alert.h"
#include "platform/qt_main_queue.h"
#include "platform/qt_pasteboard.h"
#include "platform/qt_screens.h"
#include "platform/qt_status_bar.h"
#include "platform/thread_queue.h"

#include <memory>

/// The program: the desktop's services and the one delegate. It opens no window of its own; the tray
/// item, the hot key and the panel are all there is to see. Needs the QApplication; GUI thread only.
class VelmoraApp final
{
public:
    /// The history store is recording copies once this returns.
    VelmoraApp();
    VelmoraApp(const VelmoraApp&) = delete;
    VelmoraApp& operator=(const VelmoraApp&) = delete;

    /// Finishes launching once the event loop runs, then runs the loop until the application terminates;
    /// the exit status.
    int run();

    [[nodiscard]] AppDelegate& appDelegate() { return m_appDelegate; }

    /// Toggles the panel as the hot key does; for requests from outside the process.
    void requestToggle();

private:
    platform::QtMainQueue m_mainQueue;
    platform::ThreadQueueFactory m_queues;
    platform::QtPasteboard m_pasteboard;
    platform::DesktopApplication m_application;
    platform::NotificationCenter m_notifications;
    std::unique_ptr<platform::HotKeyService> m_hotKeys;
    std::unique_ptr<platform::KeyEventService> m_keyEvents;
    platform::X11Accessibility m_accessibility;
    platform::QtScreens m_screens;
    platform::QtStatusBar m_statusBar;
    platform::QtAlerts m_alerts;
    FloatingPanelFactory m_panels;
    AppDelegate m_appDelegate;
};
