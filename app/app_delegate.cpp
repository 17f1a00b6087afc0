#include "app/app_delegate.h"

#include "app/auto_paste.h"
#include "app/global_hotkey.h"
#include "app/panel_placement.h"
#include "views/content_view.h"
#include "views/symbols.h"

#include <QCoreApplication>

AppDelegate::AppDelegate(const Services& services)
    : m_services(services),
      m_clipboardManager(ClipboardManager::create(services.clipboard, services.eventLoop, services.timers))
{}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    m_panel = std::make_unique<FloatingPanel>(QRect(0, 0, ContentView::cardWidth, ContentView::cardHeight));
    auto content = std::make_unique<ContentView>(*m_clipboardManager, m_services.eventLoop);
    connect(content.get(), &ContentView::pasteRequested, this, [this] {
        performAutoPaste([this] { closePanel(); }, m_services.application, m_services.eventLoop, m_services.keyboard);
    });
    connect(content.get(), &ContentView::quitRequested, this, [this] { m_services.application.quit(); });
    // Escape hides the panel as a second press of the hot key does.
    connect(content.get(), &ContentView::closeRequested, this, &AppDelegate::closePanel);
    m_panel->setContentView(std::move(content));

    m_services.tray.show(symbolIcon(Symbol::DocOnClipboard), QStringLiteral("Velmora"),
                         [this](Qt::MouseButton button) { togglePanel(button); });

    connect(this, &AppDelegate::ClosePopover, this, &AppDelegate::closePanel);
    connect(this, &AppDelegate::TogglePopover, this, &AppDelegate::togglePanelFromNotification);

    registerGlobalHotkey(m_services.hotKeys, m_services.eventLoop, [this] { togglePanel(Qt::NoButton); });
}

void AppDelegate::togglePanelFromNotification()
{
    togglePanel(Qt::NoButton);
}

void AppDelegate::togglePanel(Qt::MouseButton trayButton)
{
    if (trayButton == Qt::RightButton) {
        showAboutAlert();
        return;
    }
    if (m_panel->isVisible()) {
        m_panel->hide();
    } else {
        showPanel();
    }
}

void AppDelegate::showPanel()
{
    m_clipboardManager->setSearchText(QString());
    const auto& screens = m_services.screens;
    m_panel->move(panelTopLeft(screens.pointerPosition(), m_panel->size(), screens.screens(), screens.activeScreen()));
    m_panel->show();
    m_services.application.activate();
}

void AppDelegate::closePanel()
{
    m_panel->hide();
}

void AppDelegate::showAboutAlert()
{
    m_services.application.activate();
    QString note =
        QCoreApplication::translate("AppDelegate", "Velmora runs quietly in your tray.\n\n"
                                                   "Every time you copy text or images, it remembers them.\n\n"
                                                   "Click the tray icon or press Super+Shift+C to see your history.");
    if (!m_services.keyboard.canPressKeys()) {
        note +=
            QStringLiteral("\n\n") + QCoreApplication::translate("AppDelegate", "Velmora puts the entry on the "
                                                                                "clipboard; press Ctrl+V to paste it.");
    }
    m_services.alerts.exec({
        QCoreApplication::translate("AppDelegate", "Velmora by Hollin \U0001F967"),
        note,
        QCoreApplication::translate("AppDelegate", "Got it"),
    });
}
