#pragma once

#include "platform/keyboard.h"
#include "platform/portal/restore_token_file.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <memory>

namespace platform::portal {

/// Key strokes through the desktop's `org.freedesktop.portal.RemoteDesktop`, GNOME's way for an application to
/// press keys in any window. The session starts at the first paste, when the desktop may ask the user; a paste
/// waits for it. Portals from version 2 give a restore token that spares later starts the question. Once the
/// desktop has refused, `fallback` presses the keys for the rest of the run. The portal presses on a device of its own
/// and cannot release keys the user holds on another: a modifier still held joins the chord.
/// GUI thread only.
class PortalKeyboard final : public QObject, public Keyboard
{
    Q_OBJECT

public:
    /// Null when no portal on `bus` offers remote desktops, leaving `fallback` to the caller; asks the bus for a
    /// few seconds at most.
    [[nodiscard]] static std::unique_ptr<PortalKeyboard> create(const QDBusConnection& bus, RestoreTokenFile tokens,
                                                                std::unique_ptr<Keyboard>&& fallback);
    ~PortalKeyboard() override;

    void pressPasteChord() override;
    [[nodiscard]] bool canPressKeys() const override;

private slots:
    // QtDBus delivers signals of other processes to slots named by signature only.
    void handleSessionClosed();

private:
    enum class State
    {
        Idle,
        Starting,
        Started,
        Refused,
    };

    PortalKeyboard(const QDBusConnection& bus, unsigned int version, RestoreTokenFile tokens,
                   std::unique_ptr<Keyboard> fallback);

    void startSession();
    void selectDevices(const QString& session);
    void start();
    void refuse();
    /// Ends the session on the desktop's side too.
    void closeSession();
    void pressChord() const;

    QDBusConnection m_bus;
    unsigned int m_version;
    RestoreTokenFile m_tokens;
    std::unique_ptr<Keyboard> m_fallback;
    State m_state = State::Idle;
    QString m_session;
    /// A paste asked for while the session starts, pressed once it has.
    bool m_isPastePending = false;
};

} // namespace platform::portal
