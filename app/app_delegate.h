#pragma once

#include "app/floating_panel.h"
#include "engine/clipboard_manager.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/background_timer.h"
#include "platform/clipboard.h"
#include "platform/event_loop.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/screens.h"
#include "platform/tray.h"

#include <QObject>

#include <memory>

/// Owns the history store and the panel, wires them to the tray icon, its two signals, the hot key and the
/// paste when launching has finished, and decides what a click on the tray icon means. GUI thread only.
class AppDelegate final : public QObject
{
    Q_OBJECT

public:
    /// What the delegate works with; each must outlive it.
    struct Services
    {
        platform::Clipboard& clipboard;
        platform::EventLoop& eventLoop;
        platform::BackgroundTimers& timers;
        platform::Application& application;
        platform::HotKeys& hotKeys;
        platform::Keyboard& keyboard;
        platform::Screens& screens;
        platform::Tray& tray;
        platform::Alerts& alerts;
    };

    /// Creates the history store, whose watcher records copies from now on.
    explicit AppDelegate(const Services& services);
    ~AppDelegate() override;

    /// Null until launching has finished.
    [[nodiscard]] FloatingPanel* panel() const { return m_panel.get(); }
    [[nodiscard]] ClipboardManager& clipboardManager() const { return *m_clipboardManager; }

    /// Runs once, when the event loop has started.
    void applicationDidFinishLaunching();
    void togglePanelFromNotification();
    /// A right click on the tray icon shows the About alert; any other click, and a toggle request
    /// (`Qt::NoButton`), shows the panel if it is hidden and hides it if it is shown.
    void togglePanel(Qt::MouseButton trayButton);
    /// Empties the search, places the panel under the pointer, shows it and activates Velmora.
    void showPanel();
    void closePanel();

signals:
    /// Asks for the panel to be shown if it is hidden and hidden if it is shown, for senders outside the
    /// delegate: requests from outside the process. Connected once launching has finished.
    void TogglePopover();
    /// Asks for the panel to be hidden, for senders outside the delegate. Connected once launching has finished.
    void ClosePopover();

private:
    void showAboutAlert();

    Services m_services;
    // Declared first so that it outlives the panel's view, which observes it.
    std::shared_ptr<ClipboardManager> m_clipboardManager;
    std::unique_ptr<FloatingPanel> m_panel;
};
