// Velmora installed as a user would (cmake --install into ~/.local) on a headless KWin (one 1280x800 screen,
// as root) with the real desktop portals on a private session bus, in a fresh HOME: the tests' own fake-input
// client types and lists KWin's windows.

#include "tests/support/child_process.h"
#include "tests/support/session_bus.h"
#include "tests/support/temporary_folder.h"
#include "tests/wayland/wayland_desktop_test.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

// For this process, which has a Qt application on KWin too; its children read ASAN_OPTIONS below.
extern "C" int __lsan_is_turned_off()
{
    return 1;
}

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* socketName = "velmora-kwin";
// Whether the GlobalShortcuts portal answers on the session bus, started by the bus if need be.
constexpr const char* askPortal =
    "dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop "
    "/org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get "
    "string:org.freedesktop.portal.GlobalShortcuts string:version 2>/dev/null | grep -q uint32";

/// KWin, the portals, Velmora and this process's application on KWin, for all the tests of the process.
class KWinEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override
    {
        const fs::path home = m_home.path(), kwin = home / "kwin_wayland", prefix = home / ".local";
        // The packaged binary carries a file capability that a container may not grant; a copy carries none.
        // KWin's platform plugin checks the name.
        std::error_code error;
        fs::copy_file("/usr/bin/kwin_wayland", kwin, error);
        const auto install = VELMORA_CMAKE " --install " VELMORA_BUILD_DIR " --prefix " + prefix.string();
        ASSERT_TRUE(!error && std::system((install + " >/dev/null").c_str()) == 0) << "cannot install Velmora";
        // KWin reads the desktop entries as it starts, and grants its restricted protocols to the programs they
        // name: Velmora by the one it installed, the tests' client by this one.
        std::ofstream(prefix / "share/applications/velmora-test-client.desktop")
            << "[Desktop Entry]\nType=Application\nName=Velmora test client\nNoDisplay=true\nExec=" VELMORA_KWIN_CLIENT
               "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management\n";
        // The bus starts the portals with this environment: KDE's backend, on Qt's wayland platform, on this KWin.
        for (const char* variable : {"DISPLAY", "XAUTHORITY", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            unsetenv(variable);
        }
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", m_runtime.path().c_str(), 1);
        setenv("WAYLAND_DISPLAY", socketName, 1);
        setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
        setenv("XDG_SESSION_TYPE", "wayland", 1);
        m_bus = SessionBus::start(SessionBus::Services::Installed);
        ASSERT_TRUE(m_bus) << "cannot start dbus-daemon";
        setenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().c_str(), 1);
        m_kwin = std::make_unique<ChildProcess>(std::vector<std::string>{kwin.string(), "--virtual", "--width", "1280",
                                                                         "--height", "800", "--no-lockscreen",
                                                                         "--socket", socketName},
                                                ChildProcess::Output::Logged, logFile());
        const auto socket = fs::path(m_runtime.path()) / socketName;
        ASSERT_TRUE(pollUntil([&] { return fs::exists(socket) || !m_kwin->isRunning(); }, 60s) && m_kwin->isRunning())
            << "KWin did not start";
        // The first call starts the portals, which may take a while on a busy machine.
        ASSERT_TRUE(pollUntil([] { return std::system(askPortal) == 0; }, 120s)) << "the portals did not start";
        // Velmora starts from the PATH, as the menu starts it: KWin grants fake input to the executable its
        // entry names.
        setenv("PATH", (prefix.string() + "/bin:" + std::getenv("PATH")).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "wayland", 1);
        // Leaks are checked on sway: on KWin, Qt's Wayland plugin binds more globals and keeps them through
        // frames that our own bindings share, so no suppression could tell its leaks from ours.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
    }

    void TearDown() override
    {
        if (::testing::UnitTest::GetInstance()->Failed()) {
            std::cerr << "KWin's log:\n" << std::ifstream(logFile()).rdbuf();
        }
        // In the reverse of their start.
        m_application.reset();
        m_kwin.reset();
        m_bus.reset();
    }

private:
    [[nodiscard]] std::string logFile() const { return m_home.path() + "/kwin.log"; }

    int m_argc = 1;
    char m_name[16] = "kwin_test";
    char* m_argv[2] = {m_name, nullptr};
    TemporaryFolder m_runtime{"velmora-kwin-run-"};
    TemporaryFolder m_home{"velmora-kwin-home-"};
    std::unique_ptr<SessionBus> m_bus;
    std::unique_ptr<ChildProcess> m_kwin;
    std::unique_ptr<QApplication> m_application;
};

[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new KWinEnvironment);

/// Presses the evdev keys in order through fake input, and releases them in reverse.
bool pressEvdev(const QStringList& codes)
{
    return run(VELMORA_KWIN_CLIENT, QStringList("keys") + codes).status == 0;
}

struct KWin
{
    static constexpr const char* executable = "velmora";

    static void prepare(QProcessEnvironment&, const QString&) {}

    static bool press(const QString& key)
    {
        const QHash<QString, QString> evdevCodes{{"Down", "108"}, {"Return", "28"}, {"Escape", "1"}};
        return pressEvdev({evdevCodes.value(key)});
    }

    static QByteArray windows() { return run(VELMORA_KWIN_CLIENT, {"windows"}).output; }
    static bool isPanelShown() { return windows().contains("com.hollin.velmora active"); }
    static bool isPanelHidden() { return !windows().contains("com.hollin.velmora"); }
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(KWin, WaylandDesktopTest, KWin);

using KWinTest = WaylandDesktopTest<KWin>;

TEST_F(KWinTest, SuperShiftCThroughThePortalOpensAndClosesThePanel)
{
    const QStringList superShiftC = {"125", "42", "46"};
    // The portal binds the hot key some time after the start.
    EXPECT_TRUE(waitFor([&] { return pressEvdev(superShiftC) && waitFor(KWin::isPanelShown, 5s); }, 2min));
    EXPECT_TRUE(pressEvdev(superShiftC) && waitFor(KWin::isPanelHidden, 30s));
}
