// The GlobalShortcuts hot keys against a portal of the test's own on a private session bus. The portal
// answers from a thread of its own: the hot keys ask the bus synchronously, with this thread blocked.

#include "platform/portal/portal_hot_keys.h"
#include "tests/support/session_bus.h"
#include "tests/wayland/test_portal.h"

#include <QDBusConnection>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <tuple>
#include <vector>

namespace {

using platform::HotKeyStatus;
using platform::portal::PortalHotKeys;
using Answer = TestPortal::Answer;

constexpr QKeyCombination superShiftC{Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_C};

class PortalHotKeysTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bus) << "cannot start dbus-daemon";
        m_client = QDBusConnection::connectToBus(QString::fromStdString(m_bus->address()), QStringLiteral("client"));
        ASSERT_TRUE(m_client.isConnected());
    }

    void TearDown() override
    {
        m_portalConnection.unregisterObject(QLatin1String(TestPortal::path));
        m_portalThread.quit();
        m_portalThread.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    }

    /// Returns once every signal the portal sent before has been delivered here: the bus keeps the order of
    /// one sender's messages, and the answer to another binding comes after them.
    void awaitEarlierSignals()
    {
        const auto other = PortalHotKeys::create(m_client);
        ASSERT_NE(other, nullptr);
        static_cast<void>(registerAndWait(*other));
    }

    /// Registers Super+Shift+C and waits for the portal's answer, which `m_answers` gathers with any later
    /// ones; the presses are counted in `m_presses`.
    std::optional<HotKeyStatus> registerAndWait(PortalHotKeys& hotKeys)
    {
        const auto before = m_answers.size();
        QObject::connect(&hotKeys, &PortalHotKeys::answered, &hotKeys,
                         [this](HotKeyStatus status) { m_answers.push_back(status); });
        EXPECT_EQ(hotKeys.registerHotKey(superShiftC, [this] { ++m_presses; }), HotKeyStatus::Requested);
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_answers.size() > before; }, 30000)) << "the portal never answered";
        return m_answers.size() > before ? std::optional(m_answers.back()) : std::nullopt;
    }

    std::unique_ptr<SessionBus> m_bus = SessionBus::start();
    QDBusConnection m_client{QString()};
    QThread m_portalThread;
    TestPortal m_portal;
    QDBusConnection m_portalConnection{QString()};
    std::vector<HotKeyStatus> m_answers;
    int m_presses = 0;
};

// Granted as the portal documents it, or as xdg-desktop-portal-kde 5.27 binds, which is only what comes with
// CreateSession; and once the portal ends the session, again under the same token, which finds the shortcut.
TEST_F(PortalHotKeysTest, CallsBackOncePerActivationOfAGrantedBindingAlsoAfterThePortalEndsItsSessionAndNeverElse)
{
    EXPECT_EQ(PortalHotKeys::create(m_client), nullptr) << "hot keys without a portal";
    // QtDBus delivers calls in the thread of the object they are for.
    m_portal.moveToThread(&m_portalThread);
    m_portalThread.start();
    m_portalConnection =
        QDBusConnection::connectToBus(QString::fromStdString(m_bus->address()), QStringLiteral("portal"));
    ASSERT_TRUE(m_portalConnection.registerService(QLatin1String(TestPortal::service)));
    ASSERT_TRUE(m_portalConnection.registerVirtualObject(QLatin1String(TestPortal::path), &m_portal));
    const std::tuple<const char*, Answer, HotKeyStatus> answers[] = {
        {"documented", Answer::Grant, HotKeyStatus::Registered},
        {"KDE-like", Answer::KdeLike, HotKeyStatus::Registered},
        {"the user cancelled", Answer::Cancel, HotKeyStatus::Refused},
        {"the user unticked the shortcut", Answer::OmitShortcut, HotKeyStatus::Refused},
        {"the desktop ended the request", Answer::End, HotKeyStatus::Unavailable},
        {"a garbled session handle", Answer::GarbleSession, HotKeyStatus::Unavailable},
        {"a garbled response", Answer::GarbleResponse, HotKeyStatus::Unavailable},
    };
    for (const auto& [name, answer, status] : answers) {
        SCOPED_TRACE(name);
        m_portal.setAnswer(answer);
        m_presses = 0;
        m_answers.clear();
        const auto hotKeys = PortalHotKeys::create(m_client);
        ASSERT_NE(hotKeys, nullptr);
        // Only chords the portal's trigger syntax can write are proposed.
        EXPECT_EQ(hotKeys->registerHotKey(QKeyCombination(Qt::MetaModifier, Qt::Key_F1), [] {}),
                  HotKeyStatus::Unsupported);
        EXPECT_EQ(hotKeys->registerHotKey(QKeyCombination(Qt::KeypadModifier, Qt::Key_1), [] {}),
                  HotKeyStatus::Unsupported);
        EXPECT_EQ(hotKeys->registerHotKey(superShiftC, nullptr), HotKeyStatus::Unsupported);
        EXPECT_EQ(registerAndWait(*hotKeys), status);
        const auto first = m_portal.records();
        if (first.bound) {
            // Another session's shortcut and another shortcut of ours are not the hot key.
            TestPortal::activate(m_portalConnection, first.session + QStringLiteral("x"), first.bound->id);
            TestPortal::activate(m_portalConnection, first.session, first.bound->id + QStringLiteral("x"));
            TestPortal::activate(m_portalConnection, first.session, first.bound->id);
        }
        if (status == HotKeyStatus::Registered) {
            ASSERT_TRUE(first.bound.has_value());
            EXPECT_EQ(first.bound->properties.value(QStringLiteral("description")).toString(),
                      "Show clipboard history");
            EXPECT_EQ(first.bound->properties.value(QStringLiteral("preferred_trigger")).toString(), "LOGO+SHIFT+c");
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_presses == 1; }, 30000));
            TestPortal::close(m_portalConnection, first.session);
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_answers.size() == 2; }, 30000));
            EXPECT_EQ(m_answers.back(), HotKeyStatus::Registered);
            EXPECT_EQ(m_portal.records().sessions, first.sessions + 1);
            EXPECT_EQ(m_portal.records().session, first.session);
            TestPortal::activate(m_portalConnection, first.session, first.bound->id);
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_presses == 2; }, 30000));
            EXPECT_EQ(hotKeys->registerHotKey(superShiftC, [] {}), HotKeyStatus::Unsupported);
        }
        awaitEarlierSignals();
        EXPECT_EQ(m_presses, status == HotKeyStatus::Registered ? 2 : 0);
    }
}

} // namespace
