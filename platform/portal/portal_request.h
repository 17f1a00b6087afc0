#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class QDBusMessage;

namespace platform::portal {

/// One call of a portal method that answers later through an `org.freedesktop.portal.Request` object
/// (CreateSession, BindShortcuts, SelectDevices, Start, ...): the method returns at once, and the answer,
/// perhaps after a dialog, is the Request's Response signal. The request listens to the Request's path before
/// it calls, so that no answer is missed, and gives the call a fresh `handle_token`. GUI thread only.
///
/// ```
/// auto* request = PortalRequest::call(bus, interface, QStringLiteral("CreateSession"), {}, options, this);
/// connect(request, &PortalRequest::answered, this, [](PortalRequest::Outcome outcome, const QVariantMap& results) {
///     ...
/// });
/// ```
class PortalRequest final : public QObject
{
    Q_OBJECT

public:
    /// The Response's code: 0, 1 and 2 on the bus.
    enum class Outcome
    {
        Granted,
        /// The user cancelled.
        Cancelled,
        /// The portal ended the request some other way, refused the call, or answered garbled.
        Ended,
    };
    Q_ENUM(Outcome)

    /// Calls `method` of the portal's `interface` with `arguments`, then `options` with a fresh `handle_token`
    /// added. The request belongs to `parent` until it has answered, then deletes itself; destroying `parent`
    /// first drops the answer.
    static PortalRequest* call(const QDBusConnection& bus, const QString& interface, const QString& method,
                               QList<QVariant> arguments, QVariantMap options, QObject* parent);

signals:
    /// Once, from the event loop, with the Response's results (empty unless granted).
    void answered(platform::portal::PortalRequest::Outcome outcome, const QVariantMap& results);

private slots:
    // QtDBus delivers signals of other processes to slots named by signature only.
    void handleResponse(const QDBusMessage& response);

private:
    PortalRequest(const QDBusConnection& bus, QObject* parent);

    void listenTo(const QString& path);
    void finish(Outcome outcome, const QVariantMap& results);

    QDBusConnection m_bus;
    /// The Request object whose Response is awaited; empty once answered.
    QString m_path;
};

} // namespace platform::portal
