// The real velmora executable on its Xvfb desktop, with a StatusNotifierWatcher of the test's own on a
// private session bus: Qt then shows the tray icon as a StatusNotifierItem, the tray of Wayland desktops.

#include "tests/e2e/velmora_desktop.h"
#include "tests/support/session_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

using namespace std::chrono_literals;

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");

/// The tray host's side of the protocol, as far as Qt asks it: it only records the items that register.
class StatusNotifierWatcher final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)

public:
    [[nodiscard]] QStringList registeredItems() const { return m_items; }
    [[nodiscard]] bool isHostRegistered() const { return true; }

public slots:
    void RegisterStatusNotifierItem(const QString& service) { m_items.append(service); }

private:
    QStringList m_items;
};

class StatusNotifierTest : public DesktopTest
{
protected:
    void SetUp() override
    {
        m_bus = SessionBus::start();
        ASSERT_TRUE(m_bus) << "cannot start dbus-daemon";
        // Velmora, started from here, finds the watcher on this bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(m_bus->address()));
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(m_bus->address()), QStringLiteral("host")));
        ASSERT_TRUE(m_connection->registerObject(QStringLiteral("/StatusNotifierWatcher"), &m_watcher,
                                                 QDBusConnection::ExportAllContents));
        ASSERT_TRUE(m_connection->registerService(watcherService));
    }

    void TearDown() override
    {
        DesktopTest::TearDown();
        QDBusConnection::disconnectFromBus(QStringLiteral("host"));
    }

    /// Calls a method of the item without waiting: Velmora answers from its GUI thread, which may be showing a
    /// modal alert.
    void callItem(const QString& service, const QString& method) const
    {
        auto call =
            QDBusMessage::createMethodCall(service, QStringLiteral("/StatusNotifierItem"), itemInterface, method);
        call << 0 << 0;
        static_cast<void>(m_connection->send(call));
    }

    std::unique_ptr<SessionBus> m_bus;
    std::unique_ptr<QDBusConnection> m_connection;
    StatusNotifierWatcher m_watcher;
};

} // namespace

TEST_F(StatusNotifierTest, TheIconRegistersAsAnItemWhoseActivationTogglesThePanelAndWhoseMenuShowsAbout)
{
    startVelmora();
    ASSERT_TRUE(waitFor([&] { return !m_watcher.registeredItems().isEmpty(); }, 30s)) << "no item registered";
    const QString item = m_watcher.registeredItems().constFirst();
    EXPECT_EQ(m_watcher.registeredItems().size(), 1);

    callItem(item, QStringLiteral("Activate"));
    ASSERT_TRUE(waitFor(isPanelShown, 30s));
    callItem(item, QStringLiteral("Activate"));
    ASSERT_TRUE(waitFor([] { return !isPanelShown(); }, 30s));

    // With no menu of its own, the item's context menu request is the right click: the About alert.
    callItem(item, QStringLiteral("ContextMenu"));
    EXPECT_TRUE(waitFor([] { return isViewable(velmoraWindow("_NET_WM_WINDOW_TYPE_DIALOG")); }, 30s));
    EXPECT_FALSE(isPanelShown());
}

#include "status_notifier_test.moc"
