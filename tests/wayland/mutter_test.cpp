// GNOME's case: a headless Mutter, which offers no data-control. Velmora then runs on Mutter's XWayland,
// which this test process joins too, and wl-clipboard is the native application that copies and pastes.
// Mutter gives the clipboard only to a client with the keyboard focus, and a headless Mutter has a keyboard
// only while a remote desktop session is open on its bus: the test holds one.

#include "tests/e2e/velmora_desktop.h"
#include "tests/support/child_process.h"
#include "tests/support/session_bus.h"
#include "tests/support/temporary_folder.h"
#include "tests/wayland/test_portal.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <tuple>

namespace {

using namespace std::chrono_literals;

// Run by Mutter once its Wayland socket and XWayland accept clients, with their variables set: it reports
// them, then lives as long as Mutter does, which ends when it ends.
constexpr const char* reporter = "echo \"velmora-session $WAYLAND_DISPLAY $DISPLAY $XAUTHORITY\"; "
                                 "while kill -0 $PPID 2>/dev/null; do sleep 1; done";

/// A headless Mutter (one 1280x800 virtual monitor) on a private bus and runtime folder, its XWayland, a remote
/// desktop session and this process's application on XWayland, for all the tests of the process.
class MutterEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override
    {
        // Mutter's XWayland refuses a socket folder that is not world-writable, which an X server started as
        // root under umask 022 (KWin's XWayland) leaves behind: 1777 is the folder's usual mode.
        std::error_code ignored;
        std::filesystem::permissions("/tmp/.X11-unix", std::filesystem::perms::all | std::filesystem::perms::sticky_bit,
                                     ignored);
        m_bus = SessionBus::start();
        ASSERT_TRUE(m_bus && !m_runtime.path().empty()) << "cannot start dbus-daemon";
        // Without the displays it would otherwise nest in.
        m_mutter = std::make_unique<ChildProcess>(
            std::vector<std::string>{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "XAUTHORITY",
                                     "DBUS_SESSION_BUS_ADDRESS=" + m_bus->address(),
                                     "XDG_RUNTIME_DIR=" + m_runtime.path(), "mutter", "--wayland", "--headless",
                                     "--virtual-monitor", "1280x800", "--", "sh", "-c", reporter},
            ChildProcess::Output::Piped);
        // Mutter's stdout is the reporter's; an empty line is the pipe closed, Mutter gone.
        std::string line, marker, waylandDisplay, x11Display, xauthority;
        while (marker != "velmora-session" && !(line = m_mutter->readLine()).empty()) {
            std::istringstream(line) >> marker >> waylandDisplay >> x11Display >> xauthority;
        }
        ASSERT_TRUE(marker == "velmora-session" && !xauthority.empty()) << "cannot start Mutter with XWayland";
        setenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", m_runtime.path().c_str(), 1);
        setenv("WAYLAND_DISPLAY", waylandDisplay.c_str(), 1);
        setenv("DISPLAY", x11Display.c_str(), 1);
        setenv("XAUTHORITY", xauthority.c_str(), 1);
        setenv("XDG_SESSION_TYPE", "wayland", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
        ASSERT_TRUE(openKeyboard()) << "Mutter opened no remote desktop session";
    }

    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("remote-desktop"));
        m_application.reset();
        m_mutter.reset();
        m_bus.reset();
    }

private:
    /// Opens the remote desktop session that gives Mutter's seat a keyboard, held while our connection is.
    static bool openKeyboard()
    {
        auto bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS")),
                                                 QStringLiteral("remote-desktop"));
        const auto created = TestPortal::callMutter(bus, {}, QStringLiteral("CreateSession"));
        const QString session = created.arguments().value(0).value<QDBusObjectPath>().path();
        const auto succeeds = [&](const QString& method, const QVariantList& arguments) {
            return TestPortal::callMutter(bus, session, method, arguments).type() == QDBusMessage::ReplyMessage;
        };
        // The seat announces a keyboard once the session's virtual keyboard has pressed a key: Shift, alone.
        constexpr uint shift = 0xffe1;
        return !session.isEmpty() && succeeds(QStringLiteral("Start"), {}) &&
               succeeds(QStringLiteral("NotifyKeyboardKeysym"), {shift, true}) &&
               succeeds(QStringLiteral("NotifyKeyboardKeysym"), {shift, false});
    }

    int m_argc = 1;
    char m_name[16] = "mutter_test";
    char* m_argv[2] = {m_name, nullptr};
    // In the order they start: they end in reverse.
    TemporaryFolder m_runtime{"velmora-mutter-"};
    std::unique_ptr<SessionBus> m_bus;
    std::unique_ptr<ChildProcess> m_mutter;
    std::unique_ptr<QApplication> m_application;
};

[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new MutterEnvironment);

} // namespace

// Velmora, which chooses XWayland here by itself, pastes into a native window: the first paste asks the desktop
// and keeps its token; the next start restores the consent without asking; a refusal (the user has since revoked
// the consent) pastes nothing and says so.
TEST(MutterSessionTest, VelmoraPastesIntoANativeWindowThroughTheRemoteDesktopPortalAfterOneConsent)
{
    // The desktop's portal, on a connection of its own.
    TestPortal portal;
    auto bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS")),
                                             QStringLiteral("portal"));
    ASSERT_TRUE(bus.registerVirtualObject(QLatin1String(TestPortal::path), &portal) &&
                bus.registerService(QLatin1String(TestPortal::service)));
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    qputenv("QT_QPA_PLATFORM", "wayland");
    const PasteTarget target;
    qunsetenv("QT_QPA_PLATFORM");
    ASSERT_NE(target.window, 0U) << "the native paste target never had the focus";
    // What is copied, how the portal answers, and what the target then holds.
    const std::tuple<const char*, TestPortal::Answer, const char*> runs[] = {
        {"first", TestPortal::Answer::Grant, "first"},
        {"second", TestPortal::Answer::Grant, "firstsecond"},
        {"refused", TestPortal::Answer::Cancel, "firstsecond"}};
    for (const auto& [text, answer, pasted] : runs) {
        SCOPED_TRACE(text);
        portal.setAnswer(answer);
        QProcess velmora;
        velmora.start(QStringLiteral(VELMORA_EXECUTABLE), {});
        // Copied again until a click on the first row closes the panel, as choosing a listed row does: Velmora
        // lists a copy a moment after it is made, and may not yet watch the clipboard when the first is made.
        // wl-copy serves any number of readers: Velmora's need not be the first.
        const auto isPanelHidden = [] { return !DesktopWindows::isPanelShown(); };
        QPoint panelAt;
        const auto copyAndChoose = [&] {
            if (!(run("wl-copy", {text}).status == 0 && run(VELMORA_EXECUTABLE, {"--toggle"}).status == 0 &&
                  waitFor(DesktopWindows::isPanelShown, 30s))) {
                return false;
            }
            panelAt = DesktopWindows::geometry(DesktopWindows::panelWindow()).topLeft();
            if (DesktopWindows::clickAt(panelAt + firstRowInPanel) && waitFor(isPanelHidden, 10s)) {
                return true;
            }
            static_cast<void>(run(VELMORA_EXECUTABLE, {"--toggle"}).status == 0 && waitFor(isPanelHidden, 30s));
            return false;
        };
        // A second choice before the first one's paste shows would paste twice.
        bool chose = false;
        QByteArray said;
        const auto pasteShows = [&] {
            chose = chose || copyAndChoose();
            said += velmora.readAllStandardError();
            return answer == TestPortal::Answer::Grant ? target.text() == pasted : said.contains("did not let");
        };
        EXPECT_TRUE(waitFor(pasteShows, 2min)) << target.text().toStdString() << said.constData();
        EXPECT_EQ(target.text(), pasted);
        // XWayland's pointer is over no X11 window, at a stale spot: the panel is centred on the screen instead.
        EXPECT_EQ(panelAt, QPoint(480, 190));
        if (answer == TestPortal::Answer::Grant) {
            QFile kept(state.filePath(QStringLiteral("velmora/remote-desktop-token")));
            EXPECT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), portal.records().restoreToken.toUtf8());
            // 0600: this process owns it.
            EXPECT_EQ(kept.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        }
        EXPECT_EQ(portal.records().questions, 1);
        velmora.terminate();
        EXPECT_TRUE(waitForEnd(velmora, 30s));
    }
    // On XWayland too the hot key comes from the desktop's portal: an X11 grab would miss native windows.
    EXPECT_TRUE(waitFor([&] { return portal.records().bound.has_value(); }, 1min)) << "Velmora bound no shortcut";
    EXPECT_EQ(portal.records().appId, QStringLiteral("com.hollin.velmora"));
    QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
}
