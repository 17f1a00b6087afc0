#include "platform/tray.h"

#include <QSystemTrayIcon>

namespace platform {

QtTray::QtTray() = default;

QtTray::~QtTray() = default;

void QtTray::show(const QIcon& icon, const QString& name, ClickHandler clicked)
{
    m_icon = std::make_unique<QSystemTrayIcon>(icon);
    // A tray icon has no accessible name of its own; its tooltip is what screen readers announce.
    m_icon->setToolTip(name);
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated, m_icon.get(),
                     [clicked = std::move(clicked)](QSystemTrayIcon::ActivationReason reason) {
                         // The second click of a double click arrives only as DoubleClick; with no context
                         // menu set, a right click arrives as Context.
                         if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                             clicked(Qt::LeftButton);
                         } else if (reason == QSystemTrayIcon::Context) {
                             clicked(Qt::RightButton);
                         }
                     });
    // Shown even while no tray host runs: Qt docks the icon when one appears, and again after it restarts.
    m_icon->show();
}

} // namespace platform
