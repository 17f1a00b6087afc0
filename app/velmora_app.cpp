#include "app/velmora_app.h"

#include <QApplication>

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
    return QApplication::exec();
}

void VelmoraApp::requestToggle()
{
    emit m_appDelegate.TogglePopover();
}
