#include "app/instance_paths.h"
#include "app/instance_request.h"
#include "app/peer_credentials.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(InstancePathsTest, NamesOneSocketPerDisplayWhateverTheScreenOrSpelling)
{
    const std::vector<std::pair<QString, QString>> cases{
        {":12.1", "12"},
        {"unix:0", "0"},
        {"host.example.org:10.0", "host_example_org_10"},
        {"/tmp/launch-x/org.x:0", "_tmp_launch-x_org_x_0"},
        {"../../etc:0", "______etc_0"},
        {"", "default"},
    };
    for (const auto& [display, name] : cases) {
        SCOPED_TRACE(display.toStdString());
        EXPECT_EQ(displayFileName(display), name);
    }
    const auto paths = InstancePaths::forDisplay(QStringLiteral("/run/user/1000"), QStringLiteral(":1"));
    EXPECT_EQ(paths.socket, QStringLiteral("/run/user/1000/velmora-1.socket"));
    EXPECT_EQ(paths.lock, QStringLiteral("/run/user/1000/velmora-1.lock"));
}

class RuntimeDirectoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temporary.isValid());
        // QDir::tempPath() follows TMPDIR: the fallback lands in this test's folder.
        qputenv("TMPDIR", QFile::encodeName(m_temporary.path()));
    }

    [[nodiscard]] QString fallback() const
    {
        return m_temporary.filePath(QStringLiteral("velmora-%1").arg(::getuid()));
    }

    QTemporaryDir m_temporary;
};

TEST_F(RuntimeDirectoryTest, TakesAnAbsoluteXdgRuntimeDirElseMakesAFolderOnlyTheUserCanEnter)
{
    const std::pair<QByteArray, QString> cases[] = {{"", fallback()},
                                                    {"relative", fallback()},
                                                    {"/nonexistent/runtime", fallback()},
                                                    {QFile::encodeName(m_temporary.path()), m_temporary.path()}};
    for (const auto& [runtime, expected] : cases) {
        SCOPED_TRACE(runtime.toStdString());
        qputenv("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(runtimeDirectory(), expected);
        struct stat status
        {
        };
        ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u);
    }
}

TEST_F(RuntimeDirectoryTest, RefusesAFallbackThatOthersCanEnterOrThatIsALink)
{
    qunsetenv("XDG_RUNTIME_DIR");
    const QByteArray path = QFile::encodeName(fallback());
    ASSERT_EQ(::mkdir(path.constData(), 0700), 0);
    ASSERT_EQ(::chmod(path.constData(), 0777), 0);
    EXPECT_EQ(runtimeDirectory(), std::nullopt);

    ASSERT_EQ(::rmdir(path.constData()), 0);
    const QByteArray target = QFile::encodeName(m_temporary.filePath(QStringLiteral("elsewhere")));
    ASSERT_EQ(::mkdir(target.constData(), 0700), 0);
    ASSERT_EQ(::symlink(target.constData(), path.constData()), 0);
    EXPECT_EQ(runtimeDirectory(), std::nullopt);
}

TEST(PeerCredentialsTest, TellsThePeersUserAndAllowsOnlyTheSameOne)
{
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    EXPECT_EQ(peerUserId(ends[0]), ::getuid());
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(peerUserId(-1), std::nullopt);

    const struct
    {
        std::optional<uid_t> peer;
        uid_t self;
        bool allowed;
    } cases[] = {
        {1000, 1000, true}, {1001, 1000, false}, {0, 1000, false}, {1000, 0, false}, {std::nullopt, 1000, false},
    };
    for (const auto& [peer, self, allowed] : cases) {
        SCOPED_TRACE(testing::Message() << "peer " << peer.value_or(-1) << ", self " << self);
        EXPECT_EQ(isPeerAllowed(peer, self), allowed);
    }
}

TEST(InstanceRequestTest, OnlyTheExactRequestLinesAreRequests)
{
    for (const auto request : {InstanceRequest::Toggle, InstanceRequest::Quit}) {
        EXPECT_EQ(parseRequestLine(requestLine(request)), request);
    }
    for (const char* line : {"", "ok", "Toggle", "toggle ", "quit\r", "toggle\nquit"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(parseRequestLine(line), std::nullopt);
    }
}

} // namespace
