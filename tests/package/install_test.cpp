// cmake --install into a private DESTDIR: what lands under the prefix, and whether the desktop's own
// validators accept the desktop entry, the metainfo and the manual.

#include "tests/support/desktop_programs.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(InstallTest, InstallsFilesThatTheirCheckersAccept)
{
    QTemporaryDir destination;
    ASSERT_TRUE(destination.isValid());
    const Finished installed =
        run("env", {"DESTDIR=" + destination.path(), VELMORA_CMAKE, "--install", VELMORA_BUILD_DIR, "--prefix", "/usr"},
            std::chrono::minutes(1));
    ASSERT_EQ(installed.status, 0) << installed.output.data() << installed.errors.data();
    const QString prefix = destination.path() + "/usr";
    EXPECT_EQ(run(prefix + "/bin/velmora", {"--version"}).output, "velmora " VELMORA_VERSION "\n");
    // Each checker fails on a missing file; none may warn.
    for (const char* check :
         {"desktop-file-validate %1/share/applications/com.hollin.velmora.desktop",
          "appstreamcli validate --no-net %1/share/metainfo/com.hollin.velmora.metainfo.xml",
          "man --warnings -l %1/share/man/man1/velmora.1.gz",
          "xmllint --noout %1/share/icons/hicolor/scalable/apps/velmora.svg",
          "gzip --test %1/share/doc/velmora/changelog.gz", "test -s %1/share/doc/velmora/copyright"}) {
        const QStringList command = ("MANWIDTH=80 LC_ALL=C.UTF-8 " + QString(check).arg(prefix)).split(' ');
        const Finished checked = run("env", command, std::chrono::minutes(1));
        EXPECT_EQ(checked.status, 0) << check << checked.output.data() << checked.errors.data();
        EXPECT_FALSE((checked.output + checked.errors).contains("warning")) << check;
    }
}
