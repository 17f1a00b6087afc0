#include "app/velmora_app.h"

#include <QApplication>
#include <QMetaObject>

VelmoraApp::VelmoraApp()
    : m_hotKeys(platform::createHotKeys()), m_keyboard(platform::createKeyboard()),
      m_appDelegate({m_clipboard, m_eventLoop, m_timers, m_application, m_notifications, *m_hotKeys, *m_keyboard,
                     m_screens, m_tray, m_alerts})
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
    m_notifications.post(notifications::togglePopover);
}
