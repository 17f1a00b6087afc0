#include "platform/portal/portal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QUuid>

#include <algorithm>

namespace platform::portal {

void registerApplication(const QDBusConnection& bus)
{
    // A program outside a sandbox names itself before its first portal call.
    const QString appId = QGuiApplication::desktopFileName();
    if (appId.isEmpty()) {
        return;
    }
    auto registration = QDBusMessage::createMethodCall(
        service, desktopPath, QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
    registration.setArguments({appId, QVariantMap()});
    static_cast<void>(bus.call(registration, QDBus::Block, queryTimeoutMs));
}

unsigned int version(const QDBusConnection& bus, const QString& interface)
{
    if (!bus.isConnected()) {
        return 0;
    }
    auto query = QDBusMessage::createMethodCall(service, desktopPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                QStringLiteral("Get"));
    query.setArguments({interface, QStringLiteral("version")});
    const auto reply = bus.call(query, QDBus::Block, queryTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return 0;
    }
    const auto value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    // A portal that answers with something else than a number still answers: count it as the first version.
    return value.metaType() == QMetaType::fromType<uint>() ? std::max(value.toUInt(), 1U) : 1U;
}

QString senderPathElement(const QDBusConnection& bus)
{
    return bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
}

QString freshToken()
{
    return QStringLiteral("velmora_") + QUuid::createUuid().toString(QUuid::Id128);
}

} // namespace platform::portal
