#include "platform/portal/portal_keyboard.h"

#include "platform/portal/portal.h"
#include "platform/portal/portal_backend.h"
#include "platform/portal/portal_request.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include <cstdio>
#include <utility>

namespace platform::portal {

namespace {

const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
// The portal's device types and persist modes.
constexpr uint keyboardDevice = 1;
constexpr uint persistUntilRevoked = 2;
constexpr unsigned int persistingVersion = 2;
// Key positions (evdev), not symbols: applications take Ctrl with the V key as the paste even on layouts
// without a Latin v.
constexpr int leftControlKey = 29;
constexpr int vKey = 47;
constexpr uint keyReleased = 0;
constexpr uint keyPressed = 1;

void say(const char* text)
{
    std::fprintf(stderr, "velmora: %s\n", qPrintable(QCoreApplication::translate("PortalKeyboard", text)));
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

std::unique_ptr<PortalKeyboard> PortalKeyboard::create(const QDBusConnection& bus, RestoreTokenFile tokens,
                                                       std::unique_ptr<Keyboard>&& fallback)
{
    registerApplication(bus);
    const unsigned int version = portal::version(bus, remoteDesktopInterface);
    if (version == 0) {
        return nullptr;
    }
    if (version < persistingVersion) {
        say("the desktop's RemoteDesktop portal cannot remember consent (xdg-desktop-portal before 1.17): each "
            "time Velmora starts, the desktop asks before its first paste");
    }
    return std::unique_ptr<PortalKeyboard>(new PortalKeyboard(bus, version, std::move(tokens), std::move(fallback)));
}

PortalKeyboard::PortalKeyboard(const QDBusConnection& bus, unsigned int version, RestoreTokenFile tokens,
                               std::unique_ptr<Keyboard> fallback)
    : m_bus(bus), m_version(version), m_tokens(std::move(tokens)), m_fallback(std::move(fallback))
{}

PortalKeyboard::~PortalKeyboard()
{
    closeSession();
}

void PortalKeyboard::pressPasteChord()
{
    switch (m_state) {
    case State::Started:
        pressChord();
        break;
    case State::Refused:
        m_fallback->pressPasteChord();
        break;
    case State::Idle:
        m_isPastePending = true;
        startSession();
        break;
    case State::Starting:
        m_isPastePending = true;
        break;
    }
}

bool PortalKeyboard::canPressKeys() const
{
    return m_state != State::Refused || m_fallback->canPressKeys();
}

void PortalKeyboard::startSession()
{
    m_state = State::Starting;
    auto* request = PortalRequest::call(m_bus, remoteDesktopInterface, QStringLiteral("CreateSession"), {},
                                        {{QStringLiteral("session_handle_token"), freshToken()}}, this);
    connect(request, &PortalRequest::answered, this,
            [this](PortalRequest::Outcome outcome, const QVariantMap& results) {
                const QString session = sessionHandle(results.value(QStringLiteral("session_handle")));
                if (outcome != PortalRequest::Outcome::Granted || session.isEmpty()) {
                    refuse();
                    return;
                }
                selectDevices(session);
            });
}

void PortalKeyboard::selectDevices(const QString& session)
{
    m_session = session;
    // Before anything else on the session, so that its end is never missed.
    m_bus.connect(service, m_session, sessionInterface, QStringLiteral("Closed"), this, SLOT(handleSessionClosed()));
    QVariantMap options{{QStringLiteral("types"), keyboardDevice}};
    if (m_version >= persistingVersion) {
        options.insert(QStringLiteral("persist_mode"), persistUntilRevoked);
        if (const QString token = m_tokens.load(); !token.isEmpty()) {
            options.insert(QStringLiteral("restore_token"), token);
        }
    }
    auto* request = PortalRequest::call(m_bus, remoteDesktopInterface, QStringLiteral("SelectDevices"),
                                        {QVariant::fromValue(QDBusObjectPath(m_session))}, options, this);
    connect(request, &PortalRequest::answered, this, [this](PortalRequest::Outcome outcome) {
        if (outcome != PortalRequest::Outcome::Granted) {
            refuse();
            return;
        }
        start();
    });
}

void PortalKeyboard::start()
{
    auto* request = PortalRequest::call(m_bus, remoteDesktopInterface, QStringLiteral("Start"),
                                        {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {}, this);
    connect(request, &PortalRequest::answered, this,
            [this](PortalRequest::Outcome outcome, const QVariantMap& results) {
                const bool hasKeyboard = results.value(QStringLiteral("devices")).toUInt() & keyboardDevice;
                // The session may have closed while it started.
                if (outcome != PortalRequest::Outcome::Granted || !hasKeyboard || m_session.isEmpty()) {
                    refuse();
                    return;
                }
                // Each token serves one start: the next start needs this one.
                if (const QString token = results.value(QStringLiteral("restore_token")).toString(); !token.isEmpty()) {
                    m_tokens.save(token);
                }
                m_state = State::Started;
                if (std::exchange(m_isPastePending, false)) {
                    pressChord();
                }
            });
}

void PortalKeyboard::refuse()
{
    say("the desktop did not let Velmora press keys: it puts the entry on the clipboard; press Ctrl+V to paste it");
    closeSession();
    m_state = State::Refused;
    if (std::exchange(m_isPastePending, false)) {
        m_fallback->pressPasteChord();
    }
}

void PortalKeyboard::handleSessionClosed()
{
    if (!m_session.isEmpty()) {
        m_bus.disconnect(service, m_session, sessionInterface, QStringLiteral("Closed"), this,
                         SLOT(handleSessionClosed()));
    }
    m_session.clear();
    // The desktop or the user ended it: the next paste starts another, with the token kept.
    m_state = State::Idle;
}

void PortalKeyboard::closeSession()
{
    if (!m_session.isEmpty()) {
        m_bus.send(QDBusMessage::createMethodCall(service, m_session, sessionInterface, QStringLiteral("Close")));
    }
    handleSessionClosed();
}

void PortalKeyboard::pressChord() const
{
    const QVariant session = QVariant::fromValue(QDBusObjectPath(m_session));
    for (const auto& [key, state] : {std::pair{leftControlKey, keyPressed}, std::pair{vKey, keyPressed},
                                     std::pair{vKey, keyReleased}, std::pair{leftControlKey, keyReleased}}) {
        auto message = QDBusMessage::createMethodCall(service, desktopPath, remoteDesktopInterface,
                                                      QStringLiteral("NotifyKeyboardKeycode"));
        message.setArguments({session, QVariantMap(), key, state});
        m_bus.send(message);
    }
}

std::unique_ptr<Keyboard> createKeyboard(std::unique_ptr<Keyboard> fallback)
{
    // A connection of its own, as for the hot keys: the portal takes the app id only before any other call.
    const QString name = QStringLiteral("velmora-remote-desktop");
    auto keyboard = PortalKeyboard::create(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name),
                                           RestoreTokenFile::inStateFolder(QStringLiteral("remote-desktop-token")),
                                           std::move(fallback));
    if (keyboard) {
        return keyboard;
    }
    QDBusConnection::disconnectFromBus(name);
    return fallback;
}

} // namespace platform::portal
