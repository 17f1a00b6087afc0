#include "platform/portal/portal_request.h"

#include "platform/portal/portal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <utility>

namespace platform::portal {

namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

} // namespace

PortalRequest* PortalRequest::call(const QDBusConnection& bus, const QString& interface, const QString& method,
                                   QList<QVariant> arguments, QVariantMap options, QObject* parent)
{
    auto* request = new PortalRequest(bus, parent);
    const QString token = freshToken();
    options.insert(QStringLiteral("handle_token"), token);
    // The portal names the request after our unique name and the token.
    const QString expected =
        desktopPath + QStringLiteral("/request/") + senderPathElement(bus) + QLatin1Char('/') + token;
    request->listenTo(expected);
    auto message = QDBusMessage::createMethodCall(service, desktopPath, interface, method);
    arguments.append(options);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(request->m_bus.asyncCall(message), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request, [request, expected](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *done;
        if (request->m_path != expected) {
            return;
        }
        if (reply.isError()) {
            request->finish(Outcome::Ended, {});
        } else if (reply.value().path() != expected) {
            // Portals older than the handle token choose the request's path themselves.
            request->listenTo(reply.value().path());
        }
    });
    return request;
}

PortalRequest::PortalRequest(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus) {}

void PortalRequest::listenTo(const QString& path)
{
    if (!m_path.isEmpty()) {
        m_bus.disconnect(service, m_path, requestInterface, QStringLiteral("Response"), this,
                         SLOT(handleResponse(QDBusMessage)));
    }
    m_path = path;
    if (!m_path.isEmpty()) {
        m_bus.connect(service, m_path, requestInterface, QStringLiteral("Response"), this,
                      SLOT(handleResponse(QDBusMessage)));
    }
}

void PortalRequest::handleResponse(const QDBusMessage& response)
{
    if (m_path.isEmpty()) {
        return;
    }
    const auto arguments = response.arguments();
    if (response.signature() != QLatin1String("ua{sv}")) {
        finish(Outcome::Ended, {});
        return;
    }
    const uint code = arguments.at(0).toUInt();
    const Outcome outcome = code == 0 ? Outcome::Granted : code == 1 ? Outcome::Cancelled : Outcome::Ended;
    finish(outcome, outcome == Outcome::Granted ? qdbus_cast<QVariantMap>(arguments.at(1)) : QVariantMap());
}

void PortalRequest::finish(Outcome outcome, const QVariantMap& results)
{
    listenTo({});
    deleteLater();
    emit answered(outcome, results);
}

} // namespace platform::portal
