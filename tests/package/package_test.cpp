// The Debian package as a user gets it: built with cpack, checked by lintian, installed with apt into
// this machine's system, started from /usr/bin on a private desktop (Xvfb, openbox), recording a copy,
// and removed again whatever happened. Needs root: CI runs it on a throwaway machine.

#include "tests/e2e/velmora_desktop.h"

#include <QDir>
#include <QTemporaryDir>

#include <unistd.h>

/// Runs a packaging tool, which may take minutes on a busy machine: what it said if it failed, else nothing.
static std::string failure(const QString& program, const QStringList& arguments)
{
    const Finished done = run(program, arguments, std::chrono::minutes(5));
    return done.status == 0 ? "" : program.toStdString() + " failed:\n" + (done.output + done.errors).toStdString();
}

TEST_F(DesktopTest, TheInstalledDebianPackageRecordsACopy)
{
    if (::getuid() != 0) {
        GTEST_SKIP() << "installing the package into the system needs root (CI runs this test as root)";
    }
    QTemporaryDir packages;
    qputenv("DEBIAN_FRONTEND", "noninteractive");
    ASSERT_EQ(
        failure("cpack", {"-G", "DEB", "-B", packages.path(), "--config", VELMORA_BUILD_DIR "/CPackConfig.cmake"}), "");
    const QString package =
        packages.filePath(QDir(packages.path()).entryList({"velmora_" VELMORA_VERSION "_*.deb"}).value(0));
    EXPECT_EQ(failure("lintian", {"--fail-on", "error", package}), "");
    // Removed again however the test ends.
    const std::shared_ptr<void> removal(nullptr, [](void*) {
        EXPECT_EQ(failure("apt-get", {"-o", "DPkg::Lock::Timeout=300", "remove", "-y", "velmora"}), "");
    });
    ASSERT_EQ(failure("apt-get", {"-o", "DPkg::Lock::Timeout=300", "install", "-y", package}), "");

    QProcess& velmora = startVelmora("/usr/bin/velmora");
    copy("copied before the panel opened");
    // Without xclip the clipboard holds nothing until Velmora puts the copy back.
    m_processes.back()->terminate();
    ASSERT_TRUE(waitForEnd(*m_processes.back()));
    ASSERT_EQ(run("/usr/bin/velmora", {"--toggle"}).status, 0);
    ASSERT_TRUE(waitFor(isPanelShown));
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel));
    EXPECT_TRUE(waitFor([] { return readClipboardWithXclip() == "copied before the panel opened"; }));
    EXPECT_EQ(velmora.state(), QProcess::Running);
}
