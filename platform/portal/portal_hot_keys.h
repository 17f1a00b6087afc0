#pragma once

#include "platform/hot_keys.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

class QDBusMessage;

namespace platform::portal {

/// One chord bound through the desktop's `org.freedesktop.portal.GlobalShortcuts`, which Wayland desktops
/// offer in place of key grabs. The desktop answers later, perhaps after asking the user, and may bind
/// another trigger than the one proposed: `registerHotKey` says `Requested`, `answered` tells the outcome.
/// GUI thread only.
class PortalHotKeys final : public QObject, public HotKeys
{
    Q_OBJECT

public:
    /// The id and description the desktop lists the shortcut under.
    static constexpr const char* shortcutId = "toggle-panel";
    static constexpr const char* shortcutDescription = "Show clipboard history";

    /// Null when no portal on `bus` offers global shortcuts; asks the bus for a few seconds at most.
    [[nodiscard]] static std::unique_ptr<PortalHotKeys> create(const QDBusConnection& bus);

    /// Binds one chord, letters and digits with modifiers; any further registration is `Unsupported`.
    HotKeyStatus registerHotKey(QKeyCombination chord, std::function<void()> pressed) override;

signals:
    /// The desktop's answer to the registration: `Registered`, `Refused` or `Unavailable`.
    void answered(platform::HotKeyStatus status);

private slots:
    // QtDBus delivers signals of other processes to slots named by signature only.
    void handleActivated(const QDBusMessage& activation);

private:
    enum class Step
    {
        Idle,
        CreatingSession,
        Binding,
        Bound,
        Failed,
    };

    explicit PortalHotKeys(const QDBusConnection& bus);

    void handleSession(const QVariantMap& results);
    void handleBinding(const QVariantMap& results);
    void bindShortcut(const QString& session);
    void finish(Step step, HotKeyStatus status);

    QDBusConnection m_bus;
    Step m_step = Step::Idle;
    QString m_trigger;
    std::function<void()> m_pressed;
    QString m_session;
};

} // namespace platform::portal
