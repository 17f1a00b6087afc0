// cmake --install into a private DESTDIR: what lands under the prefix, and whether the desktop's own
// validators accept the desktop entry, the metainfo and the manual.

#include "tests/x11/x11_test_helpers.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <chrono>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class InstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_destination.isValid());
        const Finished installed =
            run("env",
                {"DESTDIR=" + m_destination.path(), VELMORA_CMAKE, "--install", VELMORA_BUILD_DIR, "--prefix", "/usr"},
                std::chrono::seconds(60));
        ASSERT_EQ(installed.status, 0) << installed.output.toStdString() << installed.errors.toStdString();
    }

    [[nodiscard]] QString installed(const QString& path) const { return m_destination.path() + "/usr/" + path; }

    QTemporaryDir m_destination;
};

TEST_F(InstallTest, TheProgramAndItsDesktopFilesLandUnderThePrefix)
{
    for (const char* file :
         {"share/applications/velmora.desktop", "share/metainfo/com.hollin.velmora.metainfo.xml",
          "share/man/man1/velmora.1.gz", "share/doc/velmora/copyright", "share/doc/velmora/changelog.gz"}) {
        EXPECT_TRUE(QFileInfo(installed(file)).isFile()) << file;
    }
    EXPECT_EQ(run(installed("bin/velmora"), {"--version"}).output, "velmora " VELMORA_VERSION "\n");

    QFile icon(installed("share/icons/hicolor/scalable/apps/velmora.svg"));
    ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
    QXmlStreamReader svg(&icon);
    ASSERT_TRUE(svg.readNextStartElement());
    EXPECT_EQ(svg.name(), QLatin1String("svg"));
}

TEST_F(InstallTest, TheDesktopEntryAndTheMetainfoPassTheirValidatorsAndAgree)
{
    const QString desktop = installed("share/applications/velmora.desktop");
    const Finished entry = run("desktop-file-validate", {desktop});
    EXPECT_EQ(entry.status, 0);
    EXPECT_EQ(entry.output + entry.errors, QByteArray()) << "warnings or hints";
    // The names of the installed executable and icon.
    EXPECT_TRUE(contents(desktop).contains("\nExec=velmora\n"));
    EXPECT_TRUE(contents(desktop).contains("\nIcon=velmora\n"));

    const QString metainfo = installed("share/metainfo/com.hollin.velmora.metainfo.xml");
    const Finished component = run("appstreamcli", {"validate", "--no-net", metainfo}, std::chrono::seconds(60));
    EXPECT_EQ(component.status, 0) << component.output.toStdString() << component.errors.toStdString();
    EXPECT_TRUE(contents(metainfo).contains("<launchable type=\"desktop-id\">velmora.desktop</launchable>"));
    EXPECT_TRUE(contents(metainfo).contains("<release version=\"" VELMORA_VERSION "\""));
}

TEST_F(InstallTest, TheManualRendersWithoutWarningsAndNamesTheOptionsAndHotKey)
{
    const Finished manual = run(
        "env", {"MANWIDTH=80", "LC_ALL=C.UTF-8", "man", "--warnings", "-l", installed("share/man/man1/velmora.1.gz")});
    ASSERT_EQ(manual.status, 0) << manual.errors.toStdString();
    EXPECT_EQ(manual.errors, QByteArray());
    for (const char* text : {"Super+Shift+C", "--toggle", "--autostart", VELMORA_VERSION}) {
        EXPECT_TRUE(manual.output.contains(text)) << text;
    }
}

} // namespace
