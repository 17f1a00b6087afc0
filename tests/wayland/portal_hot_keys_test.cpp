// The GlobalShortcuts hot keys against a portal of the test's own on a private session bus. The portal
// answers from a thread of its own: the hot keys ask the bus synchronously, with this thread blocked.

#include "platform/wayland/portal_hot_keys.h"
#include "tests/support/session_bus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QGuiApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <ostream>

namespace {

using platform::HotKeyStatus;
using platform::wayland::PortalHotKeys;

constexpr QKeyCombination superShiftC{Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_C};
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

struct BoundShortcut
{
    QString id;
    QVariantMap properties;
};

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

} // namespace

Q_DECLARE_METATYPE(BoundShortcut)

namespace {

/// How the portal answers a binding.
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
    Garble,
};

/// org.freedesktop.portal.GlobalShortcuts as the desktop's portal offers it, recording what it was asked.
class TestPortal final : public QDBusVirtualObject
{
public:
    explicit TestPortal(Answer answer) : m_answer(answer) {}

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

    [[nodiscard]] QString appId() const { return locked(m_appId); }
    [[nodiscard]] QString session() const { return locked(m_session); }
    [[nodiscard]] std::optional<BoundShortcut> bound() const { return locked(m_bound); }

private:
    template <typename T> T locked(const T& value) const
    {
        const std::scoped_lock lock(m_recordsMutex);
        return value;
    }
    /// Answers a call that the portal answers through a Request object.
    void respond(const QDBusMessage& call, const QDBusConnection& connection, uint code, const QVariantMap& results);

    const Answer m_answer;
    mutable std::mutex m_recordsMutex;
    QString m_appId;
    QString m_session;
    std::optional<BoundShortcut> m_bound;
};

bool TestPortal::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const auto arguments = message.arguments();
    const QString member = message.interface() + QLatin1Char('.') + message.member();
    if (member == QLatin1String("org.freedesktop.DBus.Properties.Get")) {
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(1u))));
    } else if (member == QLatin1String("org.freedesktop.host.portal.Registry.Register")) {
        const std::scoped_lock lock(m_recordsMutex);
        m_appId = arguments.value(0).toString();
        connection.send(message.createReply());
    } else if (member == shortcutsInterface + QLatin1String(".CreateSession")) {
        const auto options = qdbus_cast<QVariantMap>(arguments.value(0));
        const QString sender = message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString session = portalPath + QStringLiteral("/session/") + sender + QLatin1Char('/') +
                                options.value(QStringLiteral("session_handle_token")).toString();
        {
            const std::scoped_lock lock(m_recordsMutex);
            m_session = session;
        }
        const QVariant handle = m_answer == Answer::Garble ? QVariant(7) : QVariant(session);
        respond(message, connection, 0, {{QStringLiteral("session_handle"), handle}});
    } else if (member == shortcutsInterface + QLatin1String(".BindShortcuts")) {
        const auto shortcuts = qdbus_cast<QList<BoundShortcut>>(arguments.value(1));
        {
            const std::scoped_lock lock(m_recordsMutex);
            m_bound = shortcuts.value(0);
        }
        const uint code = m_answer == Answer::Cancel ? 1 : m_answer == Answer::End ? 2 : 0;
        const auto granted = m_answer == Answer::OmitShortcut ? QList<BoundShortcut>() : shortcuts;
        respond(message, connection, code, {{QStringLiteral("shortcuts"), QVariant::fromValue(granted)}});
    } else {
        return false;
    }
    return true;
}

void TestPortal::respond(const QDBusMessage& call, const QDBusConnection& connection, uint code,
                         const QVariantMap& results)
{
    const auto options = qdbus_cast<QVariantMap>(call.arguments().constLast());
    const QString sender = call.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString request = portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') +
                            options.value(QStringLiteral("handle_token")).toString();
    connection.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    auto response = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                               QStringLiteral("Response"));
    response << code << results;
    connection.send(response);
}

class PortalHotKeysTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qDBusRegisterMetaType<BoundShortcut>();
        qDBusRegisterMetaType<QList<BoundShortcut>>();
        m_bus = SessionBus::start();
        ASSERT_TRUE(m_bus) << "cannot start dbus-daemon";
        m_client = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(m_bus->address()), QStringLiteral("client")));
        ASSERT_TRUE(m_client->isConnected());
    }

    void TearDown() override
    {
        if (m_portal) {
            m_portalConnection->unregisterObject(portalPath);
            m_portalThread.quit();
            m_portalThread.wait();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    }

    /// Puts the portal on the bus, answering bindings with `answer`.
    TestPortal& startPortal(Answer answer)
    {
        m_portal = std::make_unique<TestPortal>(answer);
        // QtDBus delivers calls in the thread of the object they are for.
        m_portal->moveToThread(&m_portalThread);
        m_portalThread.start();
        m_portalConnection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(m_bus->address()), QStringLiteral("portal")));
        EXPECT_TRUE(m_portalConnection->registerService(portalService));
        EXPECT_TRUE(m_portalConnection->registerVirtualObject(portalPath, m_portal.get()));
        return *m_portal;
    }

    /// The portal's signal that the user pressed a bound shortcut.
    void activate(const QString& session, const QString& id) const
    {
        auto activated = QDBusMessage::createSignal(portalPath, shortcutsInterface, QStringLiteral("Activated"));
        activated << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1) << QVariantMap();
        m_portalConnection->send(activated);
    }

    /// Returns once every signal the portal sent before has been delivered here: the bus keeps the order of
    /// one sender's messages, and the answer to another binding comes after them.
    void awaitEarlierSignals()
    {
        const auto other = PortalHotKeys::create(*m_client);
        ASSERT_NE(other, nullptr);
        int unused = 0;
        static_cast<void>(registerAndWait(*other, unused));
    }

    /// Registers Super+Shift+C and waits for the portal's answer; the presses are counted in `presses`.
    std::optional<HotKeyStatus> registerAndWait(PortalHotKeys& hotKeys, int& presses)
    {
        std::optional<HotKeyStatus> answer;
        QObject::connect(&hotKeys, &PortalHotKeys::answered, &hotKeys,
                         [&answer](HotKeyStatus status) { answer = status; });
        EXPECT_EQ(hotKeys.registerHotKey(superShiftC, [&presses] { ++presses; }), HotKeyStatus::Requested);
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 30000)) << "the portal never answered";
        return answer;
    }

    std::unique_ptr<SessionBus> m_bus;
    std::unique_ptr<QDBusConnection> m_client;
    QThread m_portalThread;
    std::unique_ptr<TestPortal> m_portal;
    std::unique_ptr<QDBusConnection> m_portalConnection;
};

TEST_F(PortalHotKeysTest, ThereAreNoneWhereNoPortalOffersThem)
{
    EXPECT_EQ(PortalHotKeys::create(*m_client), nullptr);
}

TEST_F(PortalHotKeysTest, BindsTheChordAsTheShortcutsSpecificationWritesItAndCallsBackOncePerActivation)
{
    const TestPortal& portal = startPortal(Answer::Grant);
    QGuiApplication::setDesktopFileName(QStringLiteral("com.hollin.velmora"));
    const auto hotKeys = PortalHotKeys::create(*m_client);
    ASSERT_NE(hotKeys, nullptr);
    EXPECT_EQ(portal.appId(), QStringLiteral("com.hollin.velmora"));
    int presses = 0;
    EXPECT_EQ(registerAndWait(*hotKeys, presses), HotKeyStatus::Registered);
    const auto bound = portal.bound();
    ASSERT_TRUE(bound.has_value());
    EXPECT_EQ(bound->properties.value(QStringLiteral("description")).toString(), "Show clipboard history");
    EXPECT_EQ(bound->properties.value(QStringLiteral("preferred_trigger")).toString(), "LOGO+SHIFT+c");

    // Another session's shortcut and another shortcut of ours are not the hot key.
    activate(portal.session() + QStringLiteral("x"), bound->id);
    activate(portal.session(), bound->id + QStringLiteral("x"));
    activate(portal.session(), bound->id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return presses == 1; }, 30000));
    activate(portal.session(), bound->id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return presses == 2; }, 30000));
    awaitEarlierSignals();
    EXPECT_EQ(presses, 2);

    EXPECT_EQ(hotKeys->registerHotKey(superShiftC, [] {}), HotKeyStatus::Unsupported);
}

struct Refusal
{
    const char* name;
    Answer answer;
    HotKeyStatus status;
};

void PrintTo(const Refusal& refusal, std::ostream* stream)
{
    *stream << refusal.name;
}

class PortalRefusalTest : public PortalHotKeysTest, public ::testing::WithParamInterface<Refusal>
{
};

TEST_P(PortalRefusalTest, ReportsADeclinedBindingAndNeverCallsBack)
{
    const TestPortal& portal = startPortal(GetParam().answer);
    const auto hotKeys = PortalHotKeys::create(*m_client);
    ASSERT_NE(hotKeys, nullptr);
    int presses = 0;
    EXPECT_EQ(registerAndWait(*hotKeys, presses), GetParam().status);
    if (const auto bound = portal.bound()) {
        activate(portal.session(), bound->id);
    }
    awaitEarlierSignals();
    EXPECT_EQ(presses, 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, PortalRefusalTest,
                         ::testing::Values(Refusal{"UserCancelled", Answer::Cancel, HotKeyStatus::Refused},
                                           Refusal{"UserUntickedTheShortcut", Answer::OmitShortcut,
                                                   HotKeyStatus::Refused},
                                           Refusal{"DesktopEndedTheRequest", Answer::End, HotKeyStatus::Unavailable},
                                           Refusal{"GarbledSessionHandle", Answer::Garble, HotKeyStatus::Unavailable}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortalHotKeysTest, ProposesOnlyChordsTheShortcutsSpecificationCanWrite)
{
    startPortal(Answer::Grant);
    const auto hotKeys = PortalHotKeys::create(*m_client);
    ASSERT_NE(hotKeys, nullptr);
    EXPECT_EQ(hotKeys->registerHotKey(QKeyCombination(Qt::MetaModifier, Qt::Key_F1), [] {}), HotKeyStatus::Unsupported);
    EXPECT_EQ(hotKeys->registerHotKey(QKeyCombination(Qt::KeypadModifier, Qt::Key_1), [] {}),
              HotKeyStatus::Unsupported);
    EXPECT_EQ(hotKeys->registerHotKey(superShiftC, nullptr), HotKeyStatus::Unsupported);
    EXPECT_EQ(hotKeys->registerHotKey(superShiftC, [] {}), HotKeyStatus::Requested);
}

} // namespace
