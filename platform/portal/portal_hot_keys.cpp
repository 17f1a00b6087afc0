#include "platform/portal/portal_hot_keys.h"

#include "platform/portal/portal.h"
#include "platform/portal/portal_backend.h"
#include "platform/portal/portal_request.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>

#include <algorithm>
#include <optional>
#include <utility>

namespace platform::portal {

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

} // namespace platform::portal

Q_DECLARE_METATYPE(platform::portal::Shortcut)

namespace platform::portal {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
constexpr const char* sessionToken = "velmora";
// Bindings in one run, the first included: a session lost to a restarted portal is bound again.
constexpr int maxBindings = 16;

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
    QList<Shortcut> entries;
    list >> entries;
    return std::ranges::any_of(entries, [](const auto& entry) { return entry.id == PortalHotKeys::shortcutId; });
}

// 1: the user cancelled; 2: the desktop ended the request some other way.
HotKeyStatus statusOf(PortalRequest::Outcome outcome)
{
    return outcome == PortalRequest::Outcome::Cancelled ? HotKeyStatus::Refused : HotKeyStatus::Unavailable;
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
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    registerApplication(bus);
    if (version(bus, shortcutsInterface) == 0) {
        return nullptr;
    }
    return std::unique_ptr<PortalHotKeys>(new PortalHotKeys(bus));
}

PortalHotKeys::PortalHotKeys(const QDBusConnection& bus)
    : m_bus(bus), m_portalWatcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    connect(&m_portalWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        // A restarted portal knows neither our name nor our session.
        if (m_step == Step::Bound) {
            registerApplication(m_bus);
            bindAgain();
        }
    });
}

HotKeyStatus PortalHotKeys::registerHotKey(QKeyCombination chord, std::function<void()> pressed)
{
    const auto trigger = triggerOf(chord);
    if (m_step != Step::Idle || !trigger || !pressed) {
        return HotKeyStatus::Unsupported;
    }
    m_trigger = *trigger;
    m_pressed = std::move(pressed);
    // Before the binding, so that no press after it is missed.
    m_bus.connect(service, desktopPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(handleActivated(QDBusMessage)));
    createSession();
    return HotKeyStatus::Requested;
}

QVariant PortalHotKeys::shortcuts() const
{
    return QVariant::fromValue(QList<Shortcut>{
        {QLatin1String(shortcutId),
         {{QStringLiteral("description"), QCoreApplication::translate("PortalHotKeys", shortcutDescription)},
          {QStringLiteral("preferred_trigger"), m_trigger}}}});
}

void PortalHotKeys::createSession()
{
    m_step = Step::CreatingSession;
    // xdg-desktop-portal-kde 5.27 binds only the shortcuts that come with the session, and files them under the
    // session's token: a fixed one finds them again after a restart, with the trigger the user may have chosen.
    call(QStringLiteral("CreateSession"), {},
         {{QStringLiteral("session_handle_token"), QLatin1String(sessionToken)},
          {QStringLiteral("shortcuts"), shortcuts()}},
         [this](const QVariantMap& results) {
             const QString session = sessionHandle(results.value(QStringLiteral("session_handle")));
             if (session.isEmpty()) {
                 finish(Step::Failed, HotKeyStatus::Unavailable);
                 return;
             }
             bindShortcut(session);
         });
}

void PortalHotKeys::bindShortcut(const QString& session)
{
    m_session = session;
    m_step = Step::Binding;
    m_bus.connect(service, m_session, sessionInterface, QStringLiteral("Closed"), this, SLOT(handleSessionClosed()));
    call(QStringLiteral("BindShortcuts"), {QVariant::fromValue(QDBusObjectPath(session)), shortcuts(), QString()}, {},
         [this](const QVariantMap& results) {
             if (listsOurShortcut(results.value(QStringLiteral("shortcuts")))) {
                 finish(Step::Bound, HotKeyStatus::Registered);
                 return;
             }
             // The session may hold it already, from CreateSession: BindShortcuts then lists nothing.
             call(QStringLiteral("ListShortcuts"), {QVariant::fromValue(QDBusObjectPath(m_session))}, {},
                  [this](const QVariantMap& listed) {
                      const bool isBound = listsOurShortcut(listed.value(QStringLiteral("shortcuts")));
                      finish(isBound ? Step::Bound : Step::Failed,
                             isBound ? HotKeyStatus::Registered : HotKeyStatus::Refused);
                  });
         });
}

void PortalHotKeys::call(const QString& method, const QList<QVariant>& arguments, const QVariantMap& options,
                         std::function<void(const QVariantMap&)> granted)
{
    auto* request = PortalRequest::call(m_bus, shortcutsInterface, method, arguments, options, this);
    connect(request, &PortalRequest::answered, this,
            [this, granted = std::move(granted)](PortalRequest::Outcome outcome, const QVariantMap& results) {
                if (outcome != PortalRequest::Outcome::Granted) {
                    finish(Step::Failed, statusOf(outcome));
                    return;
                }
                granted(results);
            });
}

void PortalHotKeys::handleSessionClosed()
{
    if (m_step == Step::Bound) {
        bindAgain();
    }
}

void PortalHotKeys::bindAgain()
{
    m_bus.disconnect(service, m_session, sessionInterface, QStringLiteral("Closed"), this, SLOT(handleSessionClosed()));
    // A portal that ends every session at once would keep us binding for ever.
    if (++m_bindings > maxBindings) {
        finish(Step::Failed, HotKeyStatus::Unavailable);
        return;
    }
    createSession();
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
        m_bus.disconnect(service, desktopPath, shortcutsInterface, QStringLiteral("Activated"), this,
                         SLOT(handleActivated(QDBusMessage)));
        m_bus.disconnect(service, m_session, sessionInterface, QStringLiteral("Closed"), this,
                         SLOT(handleSessionClosed()));
    }
    emit answered(status);
}

std::unique_ptr<HotKeys> createHotKeys()
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

} // namespace platform::portal
