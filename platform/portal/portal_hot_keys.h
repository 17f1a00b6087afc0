#pragma once

#include "platform/hot_keys.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>

class QDBusMessage;

namespace platform::portal {

/// One chord bound through the desktop's `org.freedesktop.portal.GlobalShortcuts`, which Wayland desktops
/// offer in place of key grabs. The desktop answers later, perhaps after asking the user, and may bind
/// another trigger than the one proposed: `registerHotKey` says `Requested`, `answered` tells the outcome.
/// Where the portal ends the session (it restarted), the chord is bound again in a new one. GUI thread only.
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
    /// The desktop's answer to the registration, and to each binding again: `Registered`, `Refused` or
    /// `Unavailable`.
    void answered(platform::HotKeyStatus status);

private slots:
    // QtDBus delivers signals of other processes to slots named by signature only.
    void handleActivated(const QDBusMessage& activation);
    void handleSessionClosed();

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

    /// Our one shortcut, as the portal's a(sa{sv}) list.
    [[nodiscard]] QVariant shortcuts() const;
    void createSession();
    void bindShortcut(const QString& session);
    /// Binds once more in a new session, after the portal ended ours.
    void bindAgain();
    /// Calls a method of the portal; `granted` takes the results, any other answer ends in failure.
    void call(const QString& method, const QList<QVariant>& arguments, const QVariantMap& options,
              std::function<void(const QVariantMap&)> granted);
    void finish(Step step, HotKeyStatus status);

    QDBusConnection m_bus;
    Step m_step = Step::Idle;
    QString m_trigger;
    std::function<void()> m_pressed;
    QString m_session;
    /// Tells when the portal's service ends or restarts, which ends our session without a word.
    QDBusServiceWatcher m_portalWatcher;
    int m_bindings = 1;
};

} // namespace platform::portal
