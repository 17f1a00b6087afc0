// The Debian package as a user gets it: built with cpack, checked by lintian, installed with apt into
// this machine's system, started from /usr/bin on a private desktop (Xvfb, openbox, a tint2 tray),
// recording a copy, and removed again whatever happened. Needs root: CI runs it on a throwaway machine.

#include "tests/e2e/velmora_desktop.h"
#include "tests/x11/x11_test_helpers.h"

#include <QFileInfo>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The first row of the panel, from its top-left corner.
constexpr QPoint firstRowInPanel(160, 52);

class DebianPackageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::getuid() != 0) {
            GTEST_SKIP() << "installing the package into the system needs root (CI runs this test as root)";
        }
        ASSERT_TRUE(m_packages.isValid() && m_runtime.isValid() && m_config.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        qputenv("DEBIAN_FRONTEND", "noninteractive");
        // Without a session bus Qt takes the XEmbed tray that tint2 hosts.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    void TearDown() override
    {
        for (const auto& process : m_processes) {
            process->terminate();
            if (!process->waitForFinished(2000)) {
                process->kill();
                process->waitForFinished();
            }
        }
        if (m_installed) {
            EXPECT_EQ(runToEnd("apt-get", {"-o", "DPkg::Lock::Timeout=300", "remove", "-y", "velmora"}), 0);
            EXPECT_FALSE(QFileInfo::exists("/usr/bin/velmora"));
        }
    }

    QProcess& spawn(const QString& program, const QStringList& arguments,
                    QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels)
    {
        QProcess& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessChannelMode(channels);
        process.start(program, arguments);
        return process;
    }

    /// Runs a program to its end, its output forwarded to the test's; its status.
    int runToEnd(const QString& program, const QStringList& arguments, const QString& directory = QStringLiteral("."))
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setWorkingDirectory(directory);
        process.start(program, arguments);
        if (!waitFor([&] { return process.state() == QProcess::NotRunning; }, 300s) ||
            process.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        return process.exitCode();
    }

    /// cpack in the build folder, the package written to a folder of this test's own.
    QString buildPackage()
    {
        EXPECT_EQ(runToEnd("cpack", {"-G", "DEB", "-B", m_packages.path()}, VELMORA_BUILD_DIR), 0);
        const auto architecture = run("dpkg", {"--print-architecture"}).value_or(QString());
        return m_packages.filePath(QStringLiteral("velmora_%1_%2.deb").arg(VELMORA_VERSION, architecture));
    }

    /// Copies in another application and waits until Velmora has read the copy: xclip numbers the
    /// requests it serves, and waits for the second once the first, Velmora's, is done. Then xclip
    /// ends, so that the clipboard is empty until Velmora puts something back.
    void copyAndLeave(const QByteArray& text)
    {
        QProcess& xclip = spawn("xclip", {"-verbose", "-selection", "clipboard", "-i"}, QProcess::MergedChannels);
        xclip.write(text);
        xclip.closeWriteChannel();
        QByteArray output;
        ASSERT_TRUE(waitFor(
            [&] {
                output += xclip.readAll();
                return output.contains("request number 2");
            },
            10s))
            << output.toStdString();
        xclip.terminate();
        ASSERT_TRUE(xclip.waitForFinished(5000));
    }

    QTemporaryDir m_packages;
    QTemporaryDir m_runtime;
    QTemporaryDir m_config;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    bool m_installed = false;
};

TEST_F(DebianPackageTest, InstalledWithAptVelmoraStartsFromUsrBinAndRecordsACopy)
{
    const QString package = buildPackage();
    ASSERT_TRUE(QFileInfo::exists(package)) << package.toStdString();
    const QString depends = run("dpkg-deb", {"--field", package, "Depends"}).value_or(QString());
    for (const char* dependency : {"qt6-image-formats-plugins", "libqt6svg6", "fonts-noto-color-emoji", "libqt6gui6"}) {
        EXPECT_TRUE(depends.contains(QLatin1String(dependency))) << dependency << " not in " << depends.toStdString();
    }
    EXPECT_EQ(runToEnd("lintian", {"--fail-on", "error", package}), 0) << "lintian found errors";

    m_installed = true;
    ASSERT_EQ(runToEnd("apt-get", {"-o", "DPkg::Lock::Timeout=300", "install", "-y", package}), 0);
    ASSERT_TRUE(QFileInfo(QStringLiteral("/usr/bin/velmora")).isExecutable());

    spawn("tint2", {"-c", VELMORA_E2E_TINT2RC});
    ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10s)) << "no tray host";
    QProcess& velmora = spawn("/usr/bin/velmora", {});
    ASSERT_TRUE(waitFor([] { return trayIcon() != 0; }, 20s)) << "no tray icon";

    copyAndLeave("copied before the panel opened");
    ASSERT_EQ(runToEnd("/usr/bin/velmora", {"--toggle"}), 0);
    ASSERT_TRUE(waitFor(isPanelShown, 10s));
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel));
    EXPECT_TRUE(waitFor([] { return readClipboardWithXclip() == "copied before the panel opened"; }, 10s));
    EXPECT_EQ(velmora.state(), QProcess::Running);
}

} // namespace
