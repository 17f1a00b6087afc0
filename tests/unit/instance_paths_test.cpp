#include "app/instance_paths.h"
#include "app/instance_request.h"
#include "app/peer_credentials.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(InstancePathsTest, NamesOneSocketPerDisplayWhateverTheScreenOrSpelling)
{
    for (const auto& [display, name] : {std::pair{":12.1", "12"}, {"../../etc:0", "______etc_0"}, {"", "default"}}) {
        SCOPED_TRACE(display);
        EXPECT_EQ(displayFileName(QString::fromUtf8(display)), QString::fromUtf8(name));
    }
}

TEST(InstancePathsTest, TakesAnAbsoluteXdgRuntimeDirElseMakesAPrivateFolderAndRefusesAnOpenOneOrALink)
{
    QTemporaryDir temporary;
    // QDir::tempPath() follows TMPDIR: the fallback lands in this test's folder.
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    const auto fallback = temporary.filePath(QStringLiteral("velmora-%1").arg(::getuid()));
    for (const auto& [runtime, expected] :
         {std::pair{QByteArray("relative"), fallback}, {QFile::encodeName(temporary.path()), temporary.path()}}) {
        SCOPED_TRACE(runtime.toStdString());
        qputenv("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(runtimeDirectory(), expected);
        struct stat status
        {
        };
        ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u);
    }
    qunsetenv("XDG_RUNTIME_DIR");
    const QByteArray path = QFile::encodeName(fallback);
    ASSERT_EQ(::chmod(path.constData(), 0777), 0);
    EXPECT_EQ(runtimeDirectory(), std::nullopt);
    ASSERT_EQ(::rmdir(path.constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(temporary.path()).constData(), path.constData()), 0);
    EXPECT_EQ(runtimeDirectory(), std::nullopt);
}

TEST(InstancePathsTest, AllowsOnlyAPeerOfTheSameUserAndOnlyTheExactRequestLines)
{
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    EXPECT_EQ(peerUserId(ends[0]), ::getuid());
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_TRUE(isPeerAllowed(1000, 1000));
    EXPECT_FALSE(isPeerAllowed(0, 1000));
    EXPECT_FALSE(isPeerAllowed(std::nullopt, 1000));

    EXPECT_EQ(parseRequestLine(requestLine(InstanceRequest::Quit)), InstanceRequest::Quit);
    for (const char* line : {"", "Toggle", "toggle ", "toggle\nquit"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(parseRequestLine(line), std::nullopt);
    }
}

} // namespace
