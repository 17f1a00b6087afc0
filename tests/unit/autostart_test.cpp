#include "app/autostart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

class AutostartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    [[nodiscard]] QString entryPath() const { return m_config.filePath(QStringLiteral("autostart/velmora.desktop")); }

    [[nodiscard]] QByteArray entry() const
    {
        QFile file(entryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_config;
};

TEST_F(AutostartTest, EnablingWritesAnEntryThatStartsTheExecutableAndDisablingRemovesIt)
{
    EXPECT_EQ(autostartEntryPath(), entryPath());
    EXPECT_FALSE(isAutostartEnabled());
    EXPECT_EQ(disableAutostart(), std::nullopt) << "removing an absent entry is not a failure";

    // The entry itself is checked by desktop-file-validate end to end.
    ASSERT_EQ(enableAutostart(QStringLiteral("/usr/bin/velmora")), std::nullopt);
    EXPECT_TRUE(isAutostartEnabled());
    ASSERT_EQ(enableAutostart(QStringLiteral("/opt/velmora")), std::nullopt) << "enabling twice rewrites it";
    EXPECT_TRUE(entry().contains("\nExec=/opt/velmora\n"));

    EXPECT_EQ(disableAutostart(), std::nullopt);
    EXPECT_FALSE(QFile::exists(entryPath()));
    EXPECT_FALSE(isAutostartEnabled());
}

TEST_F(AutostartTest, AnEntryTheUserHidCountsAsOff)
{
    for (const char* hiding : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        SCOPED_TRACE(hiding);
        ASSERT_TRUE(QDir().mkpath(m_config.filePath(QStringLiteral("autostart"))));
        QFile file(entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[Desktop Entry]\nType=Application\nExec=velmora\n") + hiding + "\n");
        file.close();
        EXPECT_FALSE(isAutostartEnabled());
    }
}

TEST_F(AutostartTest, AnInvalidConfigHomeFallsBackToDotConfigInHome)
{
    for (const char* configHome : {"", "relative/config"}) {
        SCOPED_TRACE(configHome);
        qputenv("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(autostartEntryPath(), QDir::homePath() + QStringLiteral("/.config/autostart/velmora.desktop"));
    }
}

TEST_F(AutostartTest, AFailedWriteIsReportedWithThePath)
{
    // A folder where the entry should be: neither writing nor removing it can succeed.
    ASSERT_TRUE(QDir().mkpath(entryPath()));
    const auto written = enableAutostart(QStringLiteral("/usr/bin/velmora"));
    ASSERT_TRUE(written.has_value());
    EXPECT_TRUE(written->contains(entryPath()));
    EXPECT_TRUE(disableAutostart().has_value());
}

TEST(DesktopExecArgumentTest, QuotesAndEscapesOnlyWhatTheExecKeyNeeds)
{
    const std::vector<std::pair<QString, QString>> cases{
        {"/usr/bin/velmora", "/usr/bin/velmora"},
        {"/home/ann/build-1.2/velmora", "/home/ann/build-1.2/velmora"},
        {"/home/ann/my apps/velmora", "\"/home/ann/my apps/velmora\""},
        {"/tmp/a\"b", "\"/tmp/a\\\\\"b\""},
        {"/tmp/$HOME`x`", "\"/tmp/\\\\$HOME\\\\`x\\\\`\""},
        {"/tmp/back\\slash", "\"/tmp/back\\\\\\\\slash\""},
        {"/tmp/100%", "\"/tmp/100%%\""},
        {"/tmp/line\nbreak", "\"/tmp/line\\nbreak\""},
        {QString::fromUtf8("/home/j\xC3\xB6rg/velmora"), QString::fromUtf8("\"/home/j\xC3\xB6rg/velmora\"")},
    };
    for (const auto& [program, expected] : cases) {
        SCOPED_TRACE(program.toStdString());
        EXPECT_EQ(desktopExecArgument(program), expected);
    }
}

} // namespace
