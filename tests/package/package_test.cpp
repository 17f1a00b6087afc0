// The Debian package as a user gets it: built with cpack, checked by lintian, installed with apt into
// this machine's system, started from /usr/bin on a private desktop (Xvfb, openbox, a tint2 tray),
// recording a copy, and removed again whatever happened. Needs root: CI runs it on a throwaway machine.

#include "tests/e2e/velmora_desktop.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;

/// Runs a packaging tool, which may take minutes on a busy machine; whether it succeeded, saying why not.
::testing::AssertionResult succeeds(const QString& program, const QStringList& arguments)
{
    const Finished finished = run(program, arguments, 300s);
    if (finished.status == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << program.toStdString() << " failed with " << finished.status << ":\n"
                                         << finished.output.toStdString() << finished.errors.toStdString();
}

class DebianPackageTest : public DesktopTest
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
    }

    void TearDown() override
    {
        DesktopTest::TearDown();
        if (m_installed) {
            EXPECT_TRUE(succeeds("apt-get", {"-o", "DPkg::Lock::Timeout=300", "remove", "-y", "velmora"}));
            EXPECT_FALSE(QFileInfo::exists("/usr/bin/velmora"));
        }
    }

    QTemporaryDir m_packages;
    QTemporaryDir m_runtime;
    QTemporaryDir m_config;
    bool m_installed = false;
};

TEST_F(DebianPackageTest, InstalledWithAptVelmoraStartsFromUsrBinAndRecordsACopy)
{
    ASSERT_TRUE(
        succeeds("cpack", {"-G", "DEB", "-B", m_packages.path(), "--config", VELMORA_BUILD_DIR "/CPackConfig.cmake"}));
    const QString architecture = QString::fromLatin1(run("dpkg", {"--print-architecture"}).output.trimmed());
    const QString package = m_packages.filePath(QStringLiteral("velmora_%1_%2.deb").arg(VELMORA_VERSION, architecture));
    const QByteArray depends = run("dpkg-deb", {"--field", package, "Depends"}).output;
    for (const char* dependency : {"qt6-image-formats-plugins", "libqt6svg6", "fonts-noto-color-emoji", "libqt6gui6"}) {
        EXPECT_TRUE(depends.contains(dependency)) << dependency << " not in " << depends.toStdString();
    }
    EXPECT_TRUE(succeeds("lintian", {"--fail-on", "error", package}));

    m_installed = true;
    ASSERT_TRUE(succeeds("apt-get", {"-o", "DPkg::Lock::Timeout=300", "install", "-y", package}));
    startTray();
    QProcess& velmora = startVelmora(QStringLiteral("/usr/bin/velmora"));

    // xclip ends once Velmora has read the copy: the clipboard is empty until Velmora puts it back.
    QProcess& xclip = copy("copied before the panel opened");
    xclip.terminate();
    ASSERT_TRUE(waitForEnd(xclip));
    ASSERT_EQ(run("/usr/bin/velmora", {"--toggle"}).status, 0);
    ASSERT_TRUE(waitFor(isPanelShown));
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel));
    EXPECT_TRUE(waitFor([] { return readClipboardWithXclip() == "copied before the panel opened"; }));
    EXPECT_EQ(velmora.state(), QProcess::Running);
}

} // namespace
