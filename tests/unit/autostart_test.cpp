#include "app/autostart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(AutostartTest, IsOnOnlyWhileAVisibleEntryIsWritten)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const auto path = config.filePath(QStringLiteral("autostart/velmora.desktop"));
    EXPECT_EQ(disableAutostart(), std::nullopt) << "removing an absent entry is not a failure";
    // The entry itself is checked by desktop-file-validate end to end.
    ASSERT_EQ(enableAutostart(QStringLiteral("/opt/velmora")), std::nullopt);
    EXPECT_TRUE(isAutostartEnabled());
    EXPECT_EQ(disableAutostart(), std::nullopt);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(isAutostartEnabled());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nExec=velmora\nHidden=true\n");
    file.close();
    EXPECT_FALSE(isAutostartEnabled());
    ASSERT_TRUE(file.remove() && QDir().mkpath(path));
    const auto written = enableAutostart(QStringLiteral("/usr/bin/velmora"));
    ASSERT_TRUE(written.has_value());
    EXPECT_TRUE(written->contains(path));
}

TEST(AutostartTest, WritesUnderTheHomeFolderWithoutAnAbsoluteConfigHome)
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* configured : {"", "relative"}) {
        SCOPED_TRACE(configured);
        qputenv("XDG_CONFIG_HOME", configured);
        EXPECT_EQ(autostartEntryPath(), home.filePath(QStringLiteral(".config/autostart/velmora.desktop")));
    }
}

TEST(AutostartTest, QuotesAndEscapesOnlyWhatTheExecKeyNeeds)
{
    const std::pair<QString, QString> cases[]{
        {"/home/ann/build-1.2/velmora", "/home/ann/build-1.2/velmora"},
        {"/home/ann/my apps/velmora", "\"/home/ann/my apps/velmora\""},
        {"/tmp/$HOME`x`\"", "\"/tmp/\\\\$HOME\\\\`x\\\\`\\\\\"\""},
        {"/tmp/100%", "\"/tmp/100%%\""},
    };
    for (const auto& [program, expected] : cases) {
        SCOPED_TRACE(program.toStdString());
        EXPECT_EQ(desktopExecArgument(program), expected);
    }
}
