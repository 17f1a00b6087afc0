// cmake --install into a private DESTDIR: what lands under the prefix, and whether the desktop's own
// validators accept the desktop entry, the metainfo and the manual.

#include "tests/x11/x11_test_helpers.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(InstallTest, PutsTheProgramAndItsDesktopFilesUnderThePrefixWhereTheirValidatorsAcceptThem)
{
    QTemporaryDir destination;
    ASSERT_TRUE(destination.isValid());
    const Finished installed =
        run("env", {"DESTDIR=" + destination.path(), VELMORA_CMAKE, "--install", VELMORA_BUILD_DIR, "--prefix", "/usr"},
            std::chrono::seconds(60));
    ASSERT_EQ(installed.status, 0) << installed.output.data() << installed.errors.data();
    const QString prefix = destination.path() + "/usr/";
    for (const char* file : {"share/doc/velmora/copyright", "share/doc/velmora/changelog.gz",
                             "share/icons/hicolor/scalable/apps/velmora.svg"}) {
        EXPECT_TRUE(QFileInfo(prefix + file).isFile()) << file;
    }
    EXPECT_EQ(run(prefix + "bin/velmora", {"--version"}).output, "velmora " VELMORA_VERSION "\n");
    // Each validator fails on a missing file.
    for (const QStringList& validator :
         {QStringList{"desktop-file-validate", prefix + "share/applications/velmora.desktop"},
          QStringList{"appstreamcli", "validate", "--no-net",
                      prefix + "share/metainfo/com.hollin.velmora.metainfo.xml"},
          QStringList{"man", "--warnings", "-l", prefix + "share/man/man1/velmora.1.gz"}}) {
        const Finished finished =
            run("env", QStringList{"MANWIDTH=80", "LC_ALL=C.UTF-8"} + validator, std::chrono::seconds(60));
        EXPECT_EQ(finished.status, 0) << validator.join(' ').toStdString() << finished.output.data()
                                      << finished.errors.data();
        EXPECT_FALSE((finished.output + finished.errors).contains("warning"));
    }
}

} // namespace
