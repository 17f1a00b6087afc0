#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMap>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <mutex>
#include <optional>

/// A shortcut as the GlobalShortcuts portal lists it: its id and its properties.
struct BoundShortcut
{
    QString id;
    QVariantMap properties;
};

/// `org.freedesktop.portal.GlobalShortcuts` as a desktop's portal offers it on the session bus, and
/// `org.freedesktop.portal.RemoteDesktop` as GNOME's does, pressing keys through Mutter's own remote desktop on
/// the same bus; recording what it was asked. Its methods answer through Request objects, as the portal's do.
/// Thread-safe; the remote desktop's calls are served by the event loop of the main thread.
class TestPortal final : public QDBusVirtualObject
{
public:
    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* path = "/org/freedesktop/portal/desktop";

    /// How the portal answers a binding or a remote desktop's start.
    enum class Answer
    {
        Grant,
        /// The user cancelled the dialog.
        Cancel,
        /// The desktop ended the request some other way.
        End,
        /// Granted, but without the shortcut: the user unticked it.
        OmitShortcut,
        /// A session handle of the wrong type.
        GarbleSession,
        /// A response whose code is a string.
        GarbleResponse,
        /// As xdg-desktop-portal-kde 5.27: only the shortcuts that come with CreateSession are bound, and
        /// BindShortcuts lists none.
        KdeLike,
    };

    TestPortal();

    /// Emits Activated for `id` in `session` on `connection`, as the portal does for each press.
    static void activate(const QDBusConnection& connection, const QString& session, const QString& id);
    /// Emits the session's Closed on `connection`, as the portal does when it ends a session.
    static void close(const QDBusConnection& connection, const QString& session);

    /// Calls `method` of Mutter's own remote desktop on `connection`: of the session at the path `session`, or of
    /// the remote desktop itself where that is empty.
    static QDBusMessage callMutter(const QDBusConnection& connection, const QString& session, const QString& method,
                                   const QVariantList& arguments = {});

    /// How it answers the bindings asked for from now on; Grant at first.
    void setAnswer(Answer answer) { m_answer = answer; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

    /// What the client asked for: the app id it named to the host registry, the last shortcuts session created,
    /// how many were, and the first shortcut of the last binding (of the last session, where KdeLike); how often
    /// a remote desktop's start asked the user, having no valid restore token, and the token the last granted
    /// start gave.
    struct Records
    {
        QString appId;
        QString session;
        int sessions = 0;
        std::optional<BoundShortcut> bound;
        int questions = 0;
        QString restoreToken;
    };
    [[nodiscard]] Records records() const
    {
        const std::scoped_lock lock(m_recordsMutex);
        return m_records;
    }

private:
    /// Answers a call that the portal answers through a Request object.
    void respond(const QDBusMessage& call, const QDBusConnection& connection, const QVariant& code,
                 const QVariantMap& results) const;

    /// Serves a call of org.freedesktop.portal.RemoteDesktop; main thread only.
    void handleRemoteDesktop(const QDBusMessage& call, const QDBusConnection& connection);

    std::atomic<Answer> m_answer = Answer::Grant;
    /// The restore token each remote desktop session was started with, by the session's path.
    QMap<QString, QString> m_offeredTokens;
    /// Mutter's remote desktop session behind each of ours.
    QMap<QString, QString> m_mutterSessions;
    mutable std::mutex m_recordsMutex;
    Records m_records;
};
