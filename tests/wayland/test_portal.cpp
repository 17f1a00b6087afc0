#include "tests/wayland/test_portal.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

QDBusArgument& operator<<(QDBusArgument& argument, const BoundShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, BoundShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

Q_DECLARE_METATYPE(BoundShortcut)

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString mutterService = QStringLiteral("org.gnome.Mutter.RemoteDesktop");

/// The object the portal names for the caller of `call` under `kind` ("request", "session"), by the token
/// that the call's options give under `tokenOption`.
QString handleOf(const QDBusMessage& call, const char* kind, const QString& tokenOption)
{
    const auto options = qdbus_cast<QVariantMap>(call.arguments().constLast());
    return QStringLiteral("%1/%2/%3/%4")
        .arg(QLatin1String(TestPortal::path), QLatin1String(kind),
             call.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')), options.value(tokenOption).toString());
}

} // namespace

TestPortal::TestPortal()
{
    qDBusRegisterMetaType<BoundShortcut>();
    qDBusRegisterMetaType<QList<BoundShortcut>>();
}

void TestPortal::activate(const QDBusConnection& connection, const QString& session, const QString& id)
{
    auto activated = QDBusMessage::createSignal(QLatin1String(path), shortcutsInterface, QStringLiteral("Activated"));
    activated << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1) << QVariantMap();
    connection.send(activated);
}

void TestPortal::close(const QDBusConnection& connection, const QString& session)
{
    auto closed =
        QDBusMessage::createSignal(session, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed"));
    closed << QVariantMap();
    connection.send(closed);
}

bool TestPortal::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const auto arguments = message.arguments();
    const Answer answer = m_answer;
    const QString member = message.interface() + QLatin1Char('.') + message.member();
    if (member == QLatin1String("org.freedesktop.DBus.Properties.Get")) {
        // Version 2 of the remote desktop keeps consent with restore tokens.
        const uint version = arguments.value(0).toString() == remoteDesktopInterface ? 2 : 1;
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(version))));
    } else if (message.interface() == remoteDesktopInterface) {
        // Mutter is called back and forth: not on the bus's own thread, which serves the answers.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this, message, connection] { handleRemoteDesktop(message, connection); },
            Qt::QueuedConnection);
    } else if (member == QLatin1String("org.freedesktop.host.portal.Registry.Register")) {
        const std::scoped_lock lock(m_recordsMutex);
        m_records.appId = arguments.value(0).toString();
        connection.send(message.createReply());
    } else if (member == shortcutsInterface + QLatin1String(".CreateSession")) {
        const auto options = qdbus_cast<QVariantMap>(arguments.value(0));
        const QString session = handleOf(message, "session", QStringLiteral("session_handle_token"));
        {
            const std::scoped_lock lock(m_recordsMutex);
            m_records.session = session;
            ++m_records.sessions;
            if (answer == Answer::KdeLike) {
                m_records.bound = qdbus_cast<QList<BoundShortcut>>(options.value(QStringLiteral("shortcuts"))).value(0);
            }
        }
        const QVariant handle = answer == Answer::GarbleSession ? QVariant(7) : QVariant(session);
        respond(message, connection, 0u, {{QStringLiteral("session_handle"), handle}});
    } else if (member == shortcutsInterface + QLatin1String(".BindShortcuts")) {
        const auto shortcuts = qdbus_cast<QList<BoundShortcut>>(arguments.value(1));
        if (answer != Answer::KdeLike) {
            const std::scoped_lock lock(m_recordsMutex);
            m_records.bound = shortcuts.value(0);
        }
        const QVariant code = answer == Answer::Cancel           ? QVariant(1u)
                              : answer == Answer::End            ? QVariant(2u)
                              : answer == Answer::GarbleResponse ? QVariant(QStringLiteral("0"))
                                                                 : QVariant(0u);
        const bool listsNone = answer == Answer::OmitShortcut || answer == Answer::KdeLike;
        const auto granted = listsNone ? QList<BoundShortcut>() : shortcuts;
        respond(message, connection, code, {{QStringLiteral("shortcuts"), QVariant::fromValue(granted)}});
    } else if (member == shortcutsInterface + QLatin1String(".ListShortcuts")) {
        const auto bound = records().bound;
        const bool holds = bound && answer != Answer::OmitShortcut;
        const auto listed = holds ? QList<BoundShortcut>{*bound} : QList<BoundShortcut>();
        respond(message, connection, 0u, {{QStringLiteral("shortcuts"), QVariant::fromValue(listed)}});
    } else {
        return false;
    }
    return true;
}

void TestPortal::handleRemoteDesktop(const QDBusMessage& call, const QDBusConnection& connection)
{
    const auto arguments = call.arguments();
    const QString session = arguments.value(0).value<QDBusObjectPath>().path();
    if (call.member() == QLatin1String("CreateSession")) {
        const auto created = callMutter(connection, {}, QStringLiteral("CreateSession"));
        const QString ours = handleOf(call, "session", QStringLiteral("session_handle_token"));
        m_mutterSessions[ours] = created.arguments().value(0).value<QDBusObjectPath>().path();
        respond(call, connection, 0u, {{QStringLiteral("session_handle"), ours}});
    } else if (call.member() == QLatin1String("SelectDevices")) {
        const auto options = qdbus_cast<QVariantMap>(arguments.value(1));
        m_offeredTokens[session] = options.value(QStringLiteral("restore_token")).toString();
        respond(call, connection, 0u, {});
    } else if (call.member() == QLatin1String("Start")) {
        const std::scoped_lock lock(m_recordsMutex);
        if (m_offeredTokens.value(session).isEmpty() || m_offeredTokens.value(session) != m_records.restoreToken) {
            ++m_records.questions;
        }
        if (m_answer == Answer::Cancel) {
            respond(call, connection, 1u, {});
            return;
        }
        static_cast<void>(callMutter(connection, m_mutterSessions.value(session), QStringLiteral("Start")));
        m_records.restoreToken = QStringLiteral("token%1").arg(m_offeredTokens.size());
        respond(call, connection, 0u,
                {{QStringLiteral("devices"), 1u}, {QStringLiteral("restore_token"), m_records.restoreToken}});
    } else if (call.member() == QLatin1String("NotifyKeyboardKeycode")) {
        connection.send(call.createReply());
        static_cast<void>(callMutter(connection, m_mutterSessions.value(session),
                                     QStringLiteral("NotifyKeyboardKeycode"),
                                     {arguments.value(2).toUInt(), arguments.value(3).toUInt() == 1}));
    }
}

QDBusMessage TestPortal::callMutter(const QDBusConnection& connection, const QString& session, const QString& method,
                                    const QVariantList& arguments)
{
    auto message = session.isEmpty()
                       ? QDBusMessage::createMethodCall(
                             mutterService, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), mutterService, method)
                       : QDBusMessage::createMethodCall(mutterService, session,
                                                        mutterService + QStringLiteral(".Session"), method);
    message.setArguments(arguments);
    return connection.call(message);
}

void TestPortal::respond(const QDBusMessage& call, const QDBusConnection& connection, const QVariant& code,
                         const QVariantMap& results) const
{
    const QString request = handleOf(call, "request", QStringLiteral("handle_token"));
    connection.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    auto response = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                               QStringLiteral("Response"));
    response << code << results;
    connection.send(response);
}
