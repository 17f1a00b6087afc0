#include "platform/qt_status_bar.h"

#include <QIcon>
#include <QSystemTrayIcon>

#include <optional>

namespace platform {

namespace {

// The freedesktop theme names closest to the system symbols we use, with a bundled picture for desktops
// whose theme lacks them.
QIcon symbolIcon(const QString& systemSymbolName)
{
    if (systemSymbolName == QLatin1String("doc.on.clipboard")) {
        return QIcon::fromTheme(QStringLiteral("edit-paste"),
                                QIcon(QStringLiteral(":/platform/symbols/doc.on.clipboard.svg")));
    }
    return {};
}

std::optional<EventType> mouseUpOf(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    // The second click of a double click arrives only as this.
    case QSystemTrayIcon::DoubleClick:
        return EventType::LeftMouseUp;
    case QSystemTrayIcon::Context:
        return EventType::RightMouseUp;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return std::nullopt;
}

EventMask maskOf(EventType type)
{
    switch (type) {
    case EventType::LeftMouseUp:
        return leftMouseUpMask;
    case EventType::RightMouseUp:
        return rightMouseUpMask;
    case EventType::Other:
        break;
    }
    return 0;
}

class TrayButton final : public StatusBarButton
{
public:
    explicit TrayButton(QtStatusBar::EventScope eventScope) : m_eventScope(std::move(eventScope))
    {
        QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_icon,
                         [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); });
    }

    void setImage(const QString& systemSymbolName, const QString& accessibilityDescription) override
    {
        m_icon.setIcon(symbolIcon(systemSymbolName));
        // A tray icon has no accessible name of its own; its tooltip is what screen readers announce.
        m_icon.setToolTip(accessibilityDescription);
        m_icon.setVisible(!m_icon.icon().isNull());
    }

    void setAction(Action action) override { m_action = std::move(action); }
    void sendActionOn(EventMask mask) override { m_mask = mask; }

private:
    void activated(QSystemTrayIcon::ActivationReason reason)
    {
        const auto type = mouseUpOf(reason);
        if (!type || !(m_mask & maskOf(*type)) || !m_action) {
            return;
        }
        m_eventScope(Event{*type}, [this] { m_action(this); });
    }

    QtStatusBar::EventScope m_eventScope;
    QSystemTrayIcon m_icon;
    Action m_action;
    EventMask m_mask = leftMouseUpMask;
};

class TrayItem final : public StatusItem
{
public:
    explicit TrayItem(const QtStatusBar::EventScope& eventScope)
    {
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            m_button = std::make_unique<TrayButton>(eventScope);
        }
    }

    [[nodiscard]] StatusBarButton* button() override { return m_button.get(); }

private:
    std::unique_ptr<TrayButton> m_button;
};

} // namespace

std::unique_ptr<StatusItem> QtStatusBar::statusItem(double)
{
    // A tray icon is as wide as the tray makes it; every length is the variable one.
    return std::make_unique<TrayItem>(m_eventScope);
}

} // namespace platform
