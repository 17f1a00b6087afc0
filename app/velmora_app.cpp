#include "app/velmora_app.h"

#include <QApplication>
#include <QMetaObject>

VelmoraApp::VelmoraApp()
    : m_hotKeys(platform::createHotKeyService()),
      m_keyEvents(platform::createKeyEventService()),
      m_statusBar([this](platform::Event event, const platform::Task& action) {
          const platform::DesktopApplication::CurrentEventScope scope(m_application, event);
          action();
      }),
      m_panels(m_mainQueue, m_application, m_notifications, *m_keyEvents),
      m_appDelegate({m_pasteboard, m_mainQueue, m_queues, m_application, m_notifications, *m_hotKeys, m_accessibility,
                     m_screens, m_statusBar, m_alerts, m_panels})
{
}

int VelmoraApp::run()
{
    QMetaObject::invokeMethod(
        qApp, [this] { m_appDelegate.applicationDidFinishLaunching(); }, Qt::QueuedConnection);
    return QApplication::exec();
}

void VelmoraApp::requestToggle()
{
    m_notifications.post("TogglePopover");
}
