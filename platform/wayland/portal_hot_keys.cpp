#include "platform/wayland/portal_hot_keys.h"

#include "platform/wayland/wayland_backend.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

#include <algorithm>
#include <optional>
#include <utility>

namespace platform::wayland::portal {

/// One entry of the portal's a(sa{sv}) shortcut lists.
struct Shortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace platform::wayland::portal

Q_DECLARE_METATYPE(platform::wayland::portal::Shortcut)

namespace platform::wayland {

namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
// The portal service may have to start first.
constexpr int queryTimeoutMs = 5000;

/// The chord as the portal takes a trigger: xkbcommon's modifier names and keysym, joined by '+'.
std::optional<QString> triggerOf(QKeyCombination chord)
{
    const auto key = chord.key();
    const bool isLetterOrDigit = (key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9);
    const auto modifiers = chord.keyboardModifiers();
    const Qt::KeyboardModifiers named = Qt::MetaModifier | Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
    if (!isLetterOrDigit || (modifiers & ~named)) {
        return std::nullopt;
    }
    QStringList parts;
    const std::pair<Qt::KeyboardModifier, const char*> names[] = {{Qt::MetaModifier, "LOGO"},
                                                                  {Qt::ControlModifier, "CTRL"},
                                                                  {Qt::AltModifier, "ALT"},
                                                                  {Qt::ShiftModifier, "SHIFT"}};
    for (const auto& [modifier, name] : names) {
        if (modifiers & modifier) {
            parts.append(QLatin1String(name));
        }
    }
    // Qt's codes for letters are the upper-case ASCII; their keysyms are named by the lower-case letters.
    parts.append(QChar(char16_t(key)).toLower());
    return parts.join(QLatin1Char('+'));
}

/// Whether the portal's answer to the binding lists our shortcut: the user may have declined it.
bool listsOurShortcut(const QVariant& shortcuts)
{
    if (shortcuts.metaType() != QMetaType::fromType<QDBusArgument>()) {
        return false;
    }
    const auto list = shortcuts.value<QDBusArgument>();
    if (list.currentSignature() != QLatin1String("a(sa{sv})")) {
        return false;
    }
    QList<portal::Shortcut> entries;
    list >> entries;
    return std::ranges::any_of(entries, [](const auto& entry) { return entry.id == PortalHotKeys::shortcutId; });
}

QString sessionHandle(const QVariant& handle)
{
    // Documented as a string; some portals send an object path.
    if (handle.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return handle.value<QDBusObjectPath>().path();
    }
    return handle.metaType() == QMetaType::fromType<QString>() ? handle.toString() : QString();
}

} // namespace

std::unique_ptr<PortalHotKeys> PortalHotKeys::create(const QDBusConnection& bus)
{
    if (!bus.isConnected()) {
        return nullptr;
    }
    qDBusRegisterMetaType<portal::Shortcut>();
    qDBusRegisterMetaType<QList<portal::Shortcut>>();
    // A program outside a sandbox names itself before its first portal call; older portals lack the call.
    if (const QString appId = QGuiApplication::desktopFileName(); !appId.isEmpty()) {
        auto registration = QDBusMessage::createMethodCall(
            service, desktopPath, QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
        registration.setArguments({appId, QVariantMap()});
        static_cast<void>(bus.call(registration, QDBus::Block, queryTimeoutMs));
    }
    auto query = QDBusMessage::createMethodCall(service, desktopPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                QStringLiteral("Get"));
    query.setArguments({shortcutsInterface, QStringLiteral("version")});
    if (bus.call(query, QDBus::Block, queryTimeoutMs).type() != QDBusMessage::ReplyMessage) {
        return nullptr;
    }
    return std::unique_ptr<PortalHotKeys>(new PortalHotKeys(bus));
}

PortalHotKeys::PortalHotKeys(const QDBusConnection& bus) : m_bus(bus) {}

HotKeyStatus PortalHotKeys::registerHotKey(QKeyCombination chord, std::function<void()> pressed)
{
    const auto trigger = triggerOf(chord);
    if (m_step != Step::Idle || !trigger || !pressed) {
        return HotKeyStatus::Unsupported;
    }
    m_trigger = *trigger;
    m_pressed = std::move(pressed);
    m_step = Step::CreatingSession;
    callWithRequest(QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), token()}});
    return HotKeyStatus::Requested;
}

void PortalHotKeys::callWithRequest(const QString& method, QList<QVariant> arguments, QVariantMap options)
{
    const QString token = this->token();
    options.insert(QStringLiteral("handle_token"), token);
    // The portal names the request after our unique name and the token; listening first misses no answer.
    const QString sender = m_bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString expected = desktopPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    listenToRequest(expected);
    auto call = QDBusMessage::createMethodCall(service, desktopPath, shortcutsInterface, method);
    arguments.append(options);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, expected](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *finished;
        if (m_request != expected) {
            return;
        }
        if (reply.isError()) {
            finish(Step::Failed, HotKeyStatus::Unavailable);
        } else if (reply.value().path() != expected) {
            // Portals older than the handle token choose the request's path themselves.
            listenToRequest(reply.value().path());
        }
    });
}

QString PortalHotKeys::token()
{
    // Unique on the connection, which other hot keys may share: paths are made of them.
    return QStringLiteral("velmora%1_%2").arg(reinterpret_cast<quintptr>(this)).arg(m_nextToken++);
}

void PortalHotKeys::listenToRequest(const QString& path)
{
    if (!m_request.isEmpty()) {
        m_bus.disconnect(service, m_request, requestInterface, QStringLiteral("Response"), this,
                         SLOT(handleResponse(QDBusMessage)));
    }
    m_request = path;
    if (!m_request.isEmpty()) {
        m_bus.connect(service, m_request, requestInterface, QStringLiteral("Response"), this,
                      SLOT(handleResponse(QDBusMessage)));
    }
}

void PortalHotKeys::handleResponse(const QDBusMessage& response)
{
    listenToRequest({});
    const auto arguments = response.arguments();
    const bool isWellFormed = response.signature() == QLatin1String("ua{sv}");
    const uint code = isWellFormed ? arguments.at(0).toUInt() : 2;
    const auto results = isWellFormed ? qdbus_cast<QVariantMap>(arguments.at(1)) : QVariantMap();
    // 1: the user cancelled; 2: the desktop ended the request some other way.
    if (code != 0) {
        finish(Step::Failed, code == 1 ? HotKeyStatus::Refused : HotKeyStatus::Unavailable);
        return;
    }
    if (m_step == Step::CreatingSession) {
        const QString session = sessionHandle(results.value(QStringLiteral("session_handle")));
        if (session.isEmpty()) {
            finish(Step::Failed, HotKeyStatus::Unavailable);
            return;
        }
        bindShortcut(session);
    } else if (m_step == Step::Binding) {
        const bool isBound = listsOurShortcut(results.value(QStringLiteral("shortcuts")));
        finish(isBound ? Step::Bound : Step::Failed, isBound ? HotKeyStatus::Registered : HotKeyStatus::Refused);
    }
}

void PortalHotKeys::bindShortcut(const QString& session)
{
    m_session = session;
    m_step = Step::Binding;
    // Before the binding, so that no press after it is missed.
    m_bus.connect(service, desktopPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(handleActivated(QDBusMessage)));
    const QList<portal::Shortcut> shortcuts{
        {QLatin1String(shortcutId),
         {{QStringLiteral("description"), QCoreApplication::translate("PortalHotKeys", shortcutDescription)},
          {QStringLiteral("preferred_trigger"), m_trigger}}}};
    callWithRequest(QStringLiteral("BindShortcuts"),
                    {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts), QString()}, {});
}

void PortalHotKeys::handleActivated(const QDBusMessage& activation)
{
    const auto arguments = activation.arguments();
    const bool isOurs = m_step == Step::Bound && activation.signature().startsWith(QLatin1String("os")) &&
                        arguments.at(0).value<QDBusObjectPath>().path() == m_session &&
                        arguments.at(1).toString() == QLatin1String(shortcutId);
    if (isOurs) {
        // A copy: the callback may register hot keys.
        const auto pressed = m_pressed;
        pressed();
    }
}

void PortalHotKeys::finish(Step step, HotKeyStatus status)
{
    m_step = step;
    if (step == Step::Failed) {
        listenToRequest({});
        m_bus.disconnect(service, desktopPath, shortcutsInterface, QStringLiteral("Activated"), this,
                         SLOT(handleActivated(QDBusMessage)));
    }
    emit answered(status);
}

} // namespace platform::wayland

namespace platform {

std::unique_ptr<HotKeys> wayland::createHotKeys()
{
    // A connection of its own: the portal takes the app id only before any other call on the connection, and
    // Qt may have asked the portal for its settings on the shared one.
    const QString name = QStringLiteral("velmora-portal");
    if (auto portal = PortalHotKeys::create(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))) {
        return portal;
    }
    QDBusConnection::disconnectFromBus(name);
    return nullptr;
}

} // namespace platform
