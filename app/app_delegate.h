#pragma once

#include "app/panel.h"
#include "app/panel_factory.h"
#include "engine/clipboard_manager.h"
#include "platform/accessibility.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/dispatch.h"
#include "platform/hot_key_service.h"
#include "platform/notification_center.h"
#include "platform/pasteboard.h"
#include "platform/screens.h"
#include "platform/status_bar.h"

#include <memory>

/// Owns the history store, the panel and the tray item, wires them together when launching has
/// finished, and decides what a click on the tray item means. GUI thread only.
class AppDelegate final
{
public:
    /// What the delegate works with; each must outlive it.
    struct Services
    {
        platform::Pasteboard& pasteboard;
        platform::MainQueue& mainQueue;
        platform::QueueFactory& queues;
        platform::Application& application;
        platform::NotificationCenter& notifications;
        platform::HotKeyService& hotKeys;
        platform::Accessibility& accessibility;
        platform::Screens& screens;
        platform::StatusBar& statusBar;
        platform::Alerts& alerts;
        PanelFactory& panels;
    };

    /// Creates the history store, whose watcher records copies from now on.
    explicit AppDelegate(const Services& services);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    /// Null until launching has finished.
    [[nodiscard]] platform::StatusItem* statusItem() const { return m_statusItem.get(); }
    /// Null until launching has finished.
    [[nodiscard]] Panel* panel() const { return m_panel.get(); }
    [[nodiscard]] ClipboardManager& clipboardManager() const { return *m_clipboardManager; }

    /// Runs once, when the event loop has started.
    void applicationDidFinishLaunching();
    void togglePanelFromNotification();
    /// A right mouse-up on the tray item shows the About alert; anything else toggles the panel.
    void togglePanel(platform::StatusBarButton* sender);
    /// Empties the search, places the panel under the pointer, shows it and activates Velmora.
    void showPanel();
    void closePanel();

private:
    void showAboutAlert();

    Services m_services;
    // Declared first so that it outlives the panel's view, which observes it.
    std::shared_ptr<ClipboardManager> m_clipboardManager;
    std::unique_ptr<platform::StatusItem> m_statusItem;
    std::unique_ptr<Panel> m_panel;
};
