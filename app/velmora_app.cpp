#include "app/velmora_app.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>

VelmoraApp::VelmoraApp()
    : m_hotKeys(platform::createSessionHotKeys()), m_keyboard(platform::createKeyboard()),
      m_appDelegate({m_clipboard, m_eventLoop, m_timers, m_application, m_notifications, *m_hotKeys, *m_keyboard,
                     m_screens, m_tray, m_alerts})
{}

int VelmoraApp::run()
{
    QMetaObject::invokeMethod(
        qApp, [this] { m_appDelegate.applicationDidFinishLaunching(); }, Qt::QueuedConnection);
    const int status = QApplication::exec();
    // A capture the watcher queued holds the store, which reaches the clipboard and the other services that
    // go with this object: stop the watcher, then drop what it queued, while they are all still there.
    m_appDelegate.clipboardManager().stopOptimizedClipboardListener();
    QCoreApplication::removePostedEvents(nullptr, QEvent::MetaCall);
    return status;
}

void VelmoraApp::requestToggle()
{
    m_notifications.post(notifications::togglePopover);
}
