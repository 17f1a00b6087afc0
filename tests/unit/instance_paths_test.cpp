#include "app/instance_paths.h"
#include "app/instance_request.h"
#include "app/peer_credentials.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(InstancePathsTest, NamesOneSocketPerDisplayWhateverTheScreenOrSpelling)
{
    for (const auto& [display, name] : {std::pair{":12.1", "12"}, {"../../etc:0", "______etc_0"}, {"", "default"}}) {
        SCOPED_TRACE(display);
        EXPECT_EQ(displayFileName(QString::fromUtf8(display)), QString::fromUtf8(name));
    }
}

// A private XDG_RUNTIME_DIR is taken as it is by the single-instance tests, end to end.
TEST(InstancePathsTest, FallsBackToAFolderOnlyTheUserCanOpen)
{
    QTemporaryDir temporary;
    // QDir::tempPath() follows TMPDIR: the fallback lands in this test's folder.
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    // Open to others: it holds no private socket.
    const QByteArray open = QFile::encodeName(temporary.filePath(QStringLiteral("open")));
    ASSERT_TRUE(::mkdir(open.constData(), 0700) == 0 && ::chmod(open.constData(), 0755) == 0);
    const auto fallback = temporary.filePath(QStringLiteral("runtime-%1").arg(::getpwuid(::geteuid())->pw_name));
    for (const QByteArray& configured : {QByteArray("relative"), open}) {
        SCOPED_TRACE(configured.toStdString());
        qputenv("XDG_RUNTIME_DIR", configured);
        EXPECT_EQ(runtimeDirectory(), fallback);
    }
    const QByteArray path = QFile::encodeName(fallback);
    struct stat status = {};
    ASSERT_EQ(::stat(path.constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ASSERT_EQ(::chmod(path.constData(), 0777), 0);
    EXPECT_EQ(runtimeDirectory(), std::nullopt);
    ASSERT_EQ(::rmdir(path.constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(temporary.path()).constData(), path.constData()), 0);
    EXPECT_EQ(runtimeDirectory(), std::nullopt);
}

// A peer of the same user and the real request lines are accepted by the single-instance tests, end to end.
TEST(InstancePathsTest, RefusesOtherUsersAndMalformedRequests)
{
    EXPECT_FALSE(isPeerAllowed(0, 1000));
    EXPECT_FALSE(isPeerAllowed(std::nullopt, 1000));
    for (const char* line : {"", "Toggle", "toggle ", "toggle\nquit"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(parseRequestLine(line), std::nullopt);
    }
}
