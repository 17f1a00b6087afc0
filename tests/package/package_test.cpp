// The Debian package as a user gets it: built with cpack, its files accepted by the desktop's own validators,
// checked by lintian, installed with apt into this machine's system, started from /usr/bin on a private
// desktop (Xvfb, openbox), recording a copy, and removed again whatever happened. Installing needs root: CI
// runs it on a throwaway machine.

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
    QTemporaryDir packages;
    qputenv("DEBIAN_FRONTEND", "noninteractive");
    ASSERT_EQ(
        failure("cpack", {"-G", "DEB", "-B", packages.path(), "--config", VELMORA_BUILD_DIR "/CPackConfig.cmake"}), "");
    const QString package =
        packages.filePath(QDir(packages.path()).entryList({"velmora_" VELMORA_VERSION "_*.deb"}).value(0));
    EXPECT_EQ(failure("lintian", {"--fail-on", "error", package}), "");
    const QString files = packages.filePath("files");
    ASSERT_EQ(failure("dpkg-deb", {"-x", package, files}), "");
    EXPECT_EQ(run(files + "/usr/bin/velmora", {"--version"}).output, "velmora " VELMORA_VERSION "\n");
    // Each checker fails on a missing file; none may warn.
    for (const char* check :
         {"desktop-file-validate %1/share/applications/com.hollin.velmora.desktop",
          "appstreamcli validate --no-net %1/share/metainfo/com.hollin.velmora.metainfo.xml",
          "man --warnings -l %1/share/man/man1/velmora.1.gz",
          "xmllint --noout %1/share/icons/hicolor/scalable/apps/velmora.svg",
          "gzip --test %1/share/doc/velmora/changelog.gz", "test -s %1/share/doc/velmora/copyright"}) {
        const QStringList command = ("MANWIDTH=80 LC_ALL=C.UTF-8 " + QString(check).arg(files + "/usr")).split(' ');
        const Finished checked = run("env", command, std::chrono::minutes(1));
        EXPECT_EQ(checked.status, 0) << check << checked.output.data() << checked.errors.data();
        EXPECT_FALSE((checked.output + checked.errors).contains("warning")) << check;
    }
    if (::getuid() != 0) {
        GTEST_SKIP() << "installing the package into the system needs root (CI runs this test as root)";
    }
    // Removed again however the test ends.
    const std::shared_ptr<void> removal(nullptr, [](void*) {
        EXPECT_EQ(failure("apt-get", {"-o", "DPkg::Lock::Timeout=300", "remove", "-y", "velmora"}), "");
    });
    ASSERT_EQ(failure("apt-get", {"-o", "DPkg::Lock::Timeout=300", "install", "-y", package}), "");

    QProcess& velmora = startVelmora("/usr/bin/velmora");
    // A read whose owner goes away before it ends is dropped: copied again until the copy comes back.
    const auto pastedBack = [&] {
        copy("copied before the panel opened");
        // Without xclip the clipboard holds nothing until Velmora puts the copy back.
        m_processes.back()->terminate();
        return waitForEnd(*m_processes.back()) && run("/usr/bin/velmora", {"--toggle"}).status == 0 &&
               waitFor(isPanelShown) && clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel) &&
               waitFor([] { return readClipboardWithXclip() == "copied before the panel opened"; });
    };
    EXPECT_TRUE(waitFor(pastedBack, std::chrono::minutes(2)));
    EXPECT_EQ(velmora.state(), QProcess::Running);
}
