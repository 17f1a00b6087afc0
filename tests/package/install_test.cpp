// cmake --install into a private DESTDIR: what lands under the prefix, and whether the desktop's own
// validators accept the desktop entry, the metainfo and the manual.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Finished
{
    int status = -1;
    QString output;
};

/// Runs a program to its end; its status and what it wrote to both channels.
Finished run(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("%1 did not finish").arg(program)};
    }
    return {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
}

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
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), m_destination.path());
        const Finished installed =
            run(QStringLiteral(VELMORA_CMAKE), {"--install", VELMORA_BUILD_DIR, "--prefix", "/usr"}, environment);
        ASSERT_EQ(installed.status, 0) << installed.output.toStdString();
    }

    [[nodiscard]] QString installed(const QString& path) const { return m_destination.path() + "/usr/" + path; }

    QTemporaryDir m_destination;
};

TEST_F(InstallTest, TheProgramAndItsDesktopFilesLandUnderThePrefix)
{
    const std::vector<QString> files{
        "bin/velmora",
        "share/applications/velmora.desktop",
        "share/icons/hicolor/scalable/apps/velmora.svg",
        "share/metainfo/com.hollin.velmora.metainfo.xml",
        "share/man/man1/velmora.1.gz",
        "share/doc/velmora/copyright",
        "share/doc/velmora/changelog.gz",
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_TRUE(QFileInfo(installed(file)).isFile());
    }
    EXPECT_TRUE(QFileInfo(installed("bin/velmora")).isExecutable());
    const Finished version = run(installed("bin/velmora"), {"--version"});
    EXPECT_EQ(version.output, QStringLiteral("velmora %1\n").arg(QLatin1String(VELMORA_VERSION)));

    QFile icon(installed("share/icons/hicolor/scalable/apps/velmora.svg"));
    ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
    QXmlStreamReader svg(&icon);
    ASSERT_TRUE(svg.readNextStartElement());
    EXPECT_EQ(svg.name(), QLatin1String("svg"));
}

TEST_F(InstallTest, TheDesktopEntryAndTheMetainfoPassTheirValidatorsAndAgree)
{
    const QString desktop = installed("share/applications/velmora.desktop");
    const Finished entry = run(QStringLiteral("desktop-file-validate"), {desktop});
    EXPECT_EQ(entry.status, 0);
    EXPECT_EQ(entry.output, QString()) << "warnings or hints";
    const QByteArray fields = contents(desktop);
    for (const char* line :
         {"\nType=Application\n", "\nExec=velmora\n", "\nIcon=velmora\n", "\nCategories=Utility;\n"}) {
        EXPECT_TRUE(fields.contains(line)) << line;
    }
    EXPECT_TRUE(fields.contains("\nComment="));

    const QString metainfo = installed("share/metainfo/com.hollin.velmora.metainfo.xml");
    const Finished component = run(QStringLiteral("appstreamcli"), {"validate", "--no-net", metainfo});
    EXPECT_EQ(component.status, 0) << component.output.toStdString();
    const QByteArray xml = contents(metainfo);
    EXPECT_TRUE(xml.contains("<id>com.hollin.velmora</id>"));
    EXPECT_TRUE(xml.contains("<launchable type=\"desktop-id\">velmora.desktop</launchable>"));
    EXPECT_TRUE(xml.contains("<release version=\"" VELMORA_VERSION "\""));
}

TEST_F(InstallTest, TheManualRendersWithoutWarningsAndNamesTheOptionsFilesAndHotKey)
{
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // groff's warnings go to the merged channel ahead of the text; the text itself never says "warning".
    const Finished manual =
        run(QStringLiteral("man"), {"--warnings", "-l", installed("share/man/man1/velmora.1.gz")}, environment);
    ASSERT_EQ(manual.status, 0) << manual.output.toStdString();
    EXPECT_FALSE(manual.output.contains(QLatin1String("warning"))) << manual.output.toStdString();
    for (const char* text : {"VELMORA(1)", "SYNOPSIS", "OPTIONS", "FILES", "Super+Shift+C", "--toggle", "--quit",
                             "--autostart", "autostart/velmora.desktop", VELMORA_VERSION}) {
        EXPECT_TRUE(manual.output.contains(QLatin1String(text))) << text;
    }
}

} // namespace
