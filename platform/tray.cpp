#include "platform/tray.h"

#include <QSystemTrayIcon>

#include <optional>

namespace platform {

namespace {

std::optional<Qt::MouseButton> buttonOf(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    // The second click of a double click arrives only as this.
    case QSystemTrayIcon::DoubleClick:
        return Qt::LeftButton;
    // With no context menu set, a right click arrives as this.
    case QSystemTrayIcon::Context:
        return Qt::RightButton;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return std::nullopt;
}

} // namespace

QtTray::QtTray() = default;

QtTray::~QtTray() = default;

void QtTray::show(const QIcon& icon, const QString& name, ClickHandler clicked)
{
    m_icon = std::make_unique<QSystemTrayIcon>(icon);
    // A tray icon has no accessible name of its own; its tooltip is what screen readers announce.
    m_icon->setToolTip(name);
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated, m_icon.get(),
                     [clicked = std::move(clicked)](QSystemTrayIcon::ActivationReason reason) {
                         if (const auto button = buttonOf(reason)) {
                             clicked(*button);
                         }
                     });
    // Shown even while no tray host runs: Qt docks the icon when one appears, and again after it restarts.
    m_icon->show();
}

} // namespace platform
