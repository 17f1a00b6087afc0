// Velmora installed as a user would (cmake --install into ~/.local), on a headless KWin with the real desktop
// portals, driven only from outside: wl-copy and a data-control client copy, wl-paste reads, the tests' own
// fake-input client types and lists KWin's windows.

#include "tests/support/desktop_programs.h"
#include "tests/support/kwin_session.h"

#include <QApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

// For this process, which has a Qt application on KWin too; its children read ASAN_OPTIONS below.
extern "C" int __lsan_is_turned_off()
{
    return 1;
}

namespace {

using namespace std::chrono_literals;

/// Velmora installed into the session's HOME, KWin, the portals and this process's application on KWin, for
/// all the tests of the process.
class KWinEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override
    {
        // Installed as a user would, into ~/.local, whose bin/ joins the PATH.
        std::string prefix;
        m_session = KWinSession::start({VELMORA_KWIN_CLIENT}, [&prefix](const std::string& home) {
            prefix = home + "/.local";
            const auto install = std::string(VELMORA_CMAKE " --install " VELMORA_BUILD_DIR " --prefix ") + prefix;
            return std::system((install + " >/dev/null").c_str()) == 0;
        });
        ASSERT_TRUE(m_session) << "cannot install Velmora or start a headless KWin with the portals";
        setenv("PATH", (prefix + "/bin:" + std::getenv("PATH")).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "wayland", 1);
        // Leaks are checked on sway: on KWin, Qt's Wayland plugin binds more globals and keeps them through
        // frames that our own bindings share, so no suppression could tell its leaks from ours.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
    }

    void TearDown() override
    {
        if (::testing::UnitTest::GetInstance()->Failed() && m_session) {
            std::cerr << "KWin's log:\n" << std::ifstream(m_session->logFile()).rdbuf();
        }
        m_application.reset();
        m_session.reset();
    }

private:
    int m_argc = 1;
    char m_name[16] = "kwin_test";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<KWinSession> m_session;
    std::unique_ptr<QApplication> m_application;
};

[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new KWinEnvironment);

// Evdev codes, which the fake-input client presses.
constexpr const char* down = "108";
constexpr const char* enter = "28";
const QStringList superShiftC = {"125", "42", "46"};

bool press(const QStringList& keys)
{
    return run(VELMORA_KWIN_CLIENT, QStringList("keys") + keys).status == 0;
}

/// Whether KWin lists the panel, and as the active window when `isActive`.
bool isPanelListed(bool isActive = true)
{
    const auto windows = run(VELMORA_KWIN_CLIENT, {"windows"}).output;
    return windows.contains(isActive ? "com.hollin.velmora active" : "com.hollin.velmora");
}

bool isPanelHidden()
{
    return !isPanelListed(false);
}

QByteArray paste()
{
    return run("wl-paste", {"--no-newline"}).output;
}

bool copy(const QByteArray& text)
{
    return run("wl-copy", {QString::fromUtf8(text)}).status == 0 && waitFor([&] { return paste() == text; }, 30s);
}

class VelmoraKWinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // From the PATH, as the menu starts it: KWin grants fake input to the executable its entry names.
        m_velmora.setProcessChannelMode(QProcess::ForwardedChannels);
        m_velmora.start("velmora", {});
        ASSERT_TRUE(waitFor([] { return run("velmora", {"--toggle"}).status == 0; }, 1min));
        ASSERT_TRUE(waitFor([] { return isPanelListed(); }, 30s));
        ASSERT_EQ(run("velmora", {"--toggle"}).status, 0);
        ASSERT_TRUE(waitFor(isPanelHidden, 30s));
    }

    void TearDown() override
    {
        m_velmora.terminate();
        static_cast<void>(m_velmora.waitForFinished(5000));
    }

    /// Opens the panel and chooses its row `row` with the keys; again until `chosen` holds, as keys typed the
    /// moment the panel shows may come before its list has the focus.
    static bool chooseUntil(int row, const std::function<bool()>& chosen)
    {
        return waitFor(
            [&] {
                if (run("velmora", {"--toggle"}).status != 0 || !waitFor([] { return isPanelListed(); }, 30s)) {
                    return false;
                }
                // One press each: a key pressed again before its release counts once.
                bool chose = true;
                for (int step = 0; step < row; ++step) {
                    chose = chose && press({down});
                }
                chose = chose && press({enter}) && waitFor(isPanelHidden, 5s);
                if (!chose) {
                    static_cast<void>(run("velmora", {"--toggle"}));
                    static_cast<void>(waitFor(isPanelHidden, 30s));
                }
                return chose && chosen();
            },
            2min);
    }

    QProcess m_velmora;
};

TEST_F(VelmoraKWinTest, NativeCopiesAreListedNewestFirstWithoutThePasswordAndTheChosenOnePastesIntoAQtField)
{
    const PasteTarget target;
    ASSERT_NE(target.window, 0U) << "the paste target never showed";
    ASSERT_TRUE(copy("older text"));
    ASSERT_TRUE(chooseUntil(1, [] { return paste() == "older text"; }));
    ASSERT_TRUE(waitFor([&] { return target.text().endsWith("older text"); }, 30s)) << "the first paste never landed";
    QTemporaryDir files;
    QFile secret(files.filePath("secret")), hint(files.filePath("hint"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly) && secret.write("hunter2") == 7 && hint.open(QIODevice::WriteOnly) &&
                hint.write("secret") == 6);
    secret.close();
    hint.close();
    QProcess manager;
    manager.start(VELMORA_SELECTION_OWNER, {"none", "text/plain;charset=utf-8", secret.fileName(),
                                            "x-kde-passwordManagerHint", hint.fileName()});
    ASSERT_TRUE(waitFor([&] { return paste() == "hunter2"; }, 30s));
    ASSERT_TRUE(copy("newer text"));

    // Row 2 is the older text: the newer one is first, and the password was never listed.
    const auto pastedBefore = target.text();
    EXPECT_TRUE(chooseUntil(2, [] { return paste() == "older text"; })) << paste().constData();
    EXPECT_TRUE(waitFor(
        [&] { return target.text().size() > pastedBefore.size() && target.text().endsWith("older text"); }, 30s))
        << target.text().toStdString();
}

TEST_F(VelmoraKWinTest, SuperShiftCThroughThePortalOpensAndClosesThePanel)
{
    // The portal binds the hot key some time after the start.
    EXPECT_TRUE(waitFor([] { return press(superShiftC) && waitFor([] { return isPanelListed(); }, 5s); }, 2min));
    EXPECT_TRUE(press(superShiftC) && waitFor(isPanelHidden, 30s));
}

} // namespace
