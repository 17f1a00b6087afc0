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

/// The caller's unique name as the portal puts it into object paths.
QString pathElement(const QDBusMessage& call)
{
    return call.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
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
        const QString session = QLatin1String(path) + QStringLiteral("/session/") + pathElement(message) +
                                QLatin1Char('/') + options.value(QStringLiteral("session_handle_token")).toString();
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
    const auto callMutter = [&connection](const QString& path, const QString& method, const QVariantList& values) {
        auto message =
            QDBusMessage::createMethodCall(mutterService, path, mutterService + QStringLiteral(".Session"), method);
        message.setArguments(values);
        return connection.call(message);
    };
    if (call.member() == QLatin1String("CreateSession")) {
        const auto created = connection.call(
            QDBusMessage::createMethodCall(mutterService, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                           mutterService, QStringLiteral("CreateSession")));
        const auto options = qdbus_cast<QVariantMap>(arguments.value(0));
        const QString ours = QLatin1String(path) + QStringLiteral("/session/") + pathElement(call) + QLatin1Char('/') +
                             options.value(QStringLiteral("session_handle_token")).toString();
        m_mutterSessions[ours] = created.arguments().value(0).value<QDBusObjectPath>().path();
        respond(call, connection, 0u, {{QStringLiteral("session_handle"), ours}});
    } else if (call.member() == QLatin1String("SelectDevices")) {
        const auto options = qdbus_cast<QVariantMap>(arguments.value(1));
        m_offeredTokens[session] = options.value(QStringLiteral("restore_token")).toString();
        respond(call, connection, 0u, {});
    } else if (call.member() == QLatin1String("Start")) {
        const std::scoped_lock lock(m_recordsMutex);
        auto& records = m_remoteDesktopRecords;
        if (m_offeredTokens.value(session).isEmpty() || m_offeredTokens.value(session) != records.restoreToken) {
            ++records.questions;
        }
        if (m_answer == Answer::Cancel) {
            respond(call, connection, 1u, {});
            return;
        }
        static_cast<void>(callMutter(m_mutterSessions.value(session), QStringLiteral("Start"), {}));
        records.restoreToken = QStringLiteral("token%1").arg(m_offeredTokens.size());
        respond(call, connection, 0u,
                {{QStringLiteral("devices"), 1u}, {QStringLiteral("restore_token"), records.restoreToken}});
    } else if (call.member() == QLatin1String("NotifyKeyboardKeycode")) {
        const auto mutterSession = m_mutterSessions.value(session);
        const auto keycode = arguments.value(2).toUInt();
        const bool pressed = arguments.value(3).toUInt() == 1;
        connection.send(call.createReply());
        static_cast<void>(callMutter(mutterSession, QStringLiteral("NotifyKeyboardKeycode"), {keycode, pressed}));
    }
}

void TestPortal::respond(const QDBusMessage& call, const QDBusConnection& connection, const QVariant& code,
                         const QVariantMap& results) const
{
    const auto options = qdbus_cast<QVariantMap>(call.arguments().constLast());
    const QString request = QLatin1String(path) + QStringLiteral("/request/") + pathElement(call) + QLatin1Char('/') +
                            options.value(QStringLiteral("handle_token")).toString();
    connection.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    auto response = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                               QStringLiteral("Response"));
    response << code << results;
    connection.send(response);
}
