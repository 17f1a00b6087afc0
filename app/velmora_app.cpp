#include "app/velmora_app.h"

#include "platform/wayland/wayland_backend.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>

namespace {

// On Qt's wayland platforms ("wayland", "wayland-egl"), data-control and virtual keyboards where the
// compositor has them.
bool isWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

std::unique_ptr<platform::Clipboard> createClipboard()
{
    auto clipboard = isWayland() ? platform::wayland::createClipboard() : nullptr;
    return clipboard ? std::move(clipboard) : std::make_unique<platform::QtClipboard>();
}

} // namespace

VelmoraApp::VelmoraApp()
    : m_clipboard(createClipboard()), m_hotKeys(platform::createHotKeys()),
      m_keyboard(isWayland() ? platform::wayland::createKeyboard() : platform::createKeyboard()),
      m_appDelegate({*m_clipboard, m_eventLoop, m_timers, m_application, m_notifications, *m_hotKeys, *m_keyboard,
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
