#include "app/app_delegate.h"

#include "app/panel_placement.h"
#include "system/global_hotkey.h"

#include <QCoreApplication>
#include <QWidget>

namespace {

constexpr platform::Rect panelContentRect{{0, 0}, {320, 420}};

} // namespace

AppDelegate::AppDelegate(const Services& services)
    : m_services(services),
      m_clipboardManager(ClipboardManager::create(services.pasteboard, services.mainQueue, services.queues))
{
}

void AppDelegate::applicationDidFinishLaunching()
{
    // Launching goes on whatever the answer; the prompt is what matters to an untrusted process.
    static_cast<void>(m_services.accessibility.isProcessTrusted(platform::TrustPrompt::Show));

    m_panel = m_services.panels.makePanel(panelContentRect);
    m_panel->setContentView(m_services.panels.makeContentView(*m_clipboardManager));

    m_statusItem = m_services.statusBar.statusItem(platform::variableStatusItemLength);
    if (platform::StatusBarButton* button = m_statusItem->button()) {
        button->setImage(QStringLiteral("doc.on.clipboard"), QStringLiteral("Velmora"));
        button->setAction([this](platform::StatusBarButton* sender) { togglePanel(sender); });
        button->sendActionOn(platform::leftMouseUpMask | platform::rightMouseUpMask);
    }

    m_services.notifications.addObserver("ClosePopover", [this] { closePanel(); });
    m_services.notifications.addObserver("TogglePopover", [this] { togglePanelFromNotification(); });

    registerGlobalHotkey(m_services.hotKeys, m_services.mainQueue, m_services.notifications);
}

void AppDelegate::togglePanelFromNotification()
{
    togglePanel(nullptr);
}

void AppDelegate::togglePanel(platform::StatusBarButton* sender)
{
    const auto event = m_services.application.currentEvent();
    if (event && event->type == platform::EventType::RightMouseUp && sender) {
        showAboutAlert();
        return;
    }
    if (m_panel->isVisible()) {
        m_panel->orderOut();
    } else {
        showPanel();
    }
}

void AppDelegate::showPanel()
{
    m_clipboardManager->setSearchText(QString());
    const platform::Point mouse = m_services.screens.mouseLocation();
    const platform::Size size = m_panel->frame().size;
    m_panel->setFrameOrigin(panelOrigin(mouse, size, m_services.screens.screens(), m_services.screens.mainScreen()));
    m_panel->makeKeyAndOrderFront();
    m_services.application.activate();
}

void AppDelegate::closePanel()
{
    m_panel->orderOut();
}

void AppDelegate::showAboutAlert()
{
    m_services.application.activate();
    platform::Alert alert;
    alert.messageText = QCoreApplication::translate("AppDelegate", "Velmora by Hollin \U0001F967");
    alert.informativeText = QCoreApplication::translate(
        "AppDelegate", "Velmora runs quietly in your menu bar.\n\n"
                       "Every time you copy text or images, it remembers them.\n\n"
                       "Click the menu bar icon or press Super+Shift+C to see your history.");
    alert.alertStyle = platform::AlertStyle::Informational;
    alert.buttons = {QCoreApplication::translate("AppDelegate", "Got it")};
    m_services.alerts.runModal(alert);
}
