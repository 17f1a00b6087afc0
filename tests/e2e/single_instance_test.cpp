// One Velmora per user and display: the real executable started twice, asked to toggle or quit, and the
// channel's server in this process against clients that misbehave. Each test has its own
// XDG_RUNTIME_DIR and XDG_CONFIG_HOME, on a private Xvfb with openbox.

#include "app/instance_paths.h"
#include "app/single_instance.h"
#include "tests/e2e/velmora_desktop.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

Finished velmora(const QStringList& arguments)
{
    return run(QStringLiteral(VELMORA_EXECUTABLE), arguments);
}

class SingleInstanceTest : public DesktopTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid() && m_config.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    [[nodiscard]] QString socketPath() const
    {
        return InstancePaths::forDisplay(m_runtime.path(), qEnvironmentVariable("DISPLAY")).socket;
    }

    [[nodiscard]] bool isListening() const
    {
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        return probe.waitForConnected(1000);
    }

    /// Starts the first Velmora and waits until it takes requests.
    QProcess& startFirst()
    {
        QProcess& first = startVelmora();
        EXPECT_TRUE(waitFor([&] { return isListening(); })) << "velmora does not listen";
        return first;
    }

    QTemporaryDir m_runtime;
    QTemporaryDir m_config;
};

TEST_F(SingleInstanceTest, ASecondLaunchOpensThePanelOfTheFirstOverAUsersOwnSocketAndQuitEndsIt)
{
    QProcess& first = startFirst();
    ASSERT_FALSE(isPanelShown());
    struct stat status
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(socketPath()).constData(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 077, 0u) << std::oct << status.st_mode;
    EXPECT_EQ(status.st_uid, ::getuid());

    EXPECT_EQ(velmora({}).status, 0);
    // Shown and activated, as the user sees it before asking again.
    EXPECT_TRUE(waitFor([] { return isPanelShown() && activeWindowByXdotool() == panelWindow(); }));
    EXPECT_EQ(velmora({"--toggle"}).status, 0);
    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
    EXPECT_EQ(velmora({"--toggle"}).status, 0);
    EXPECT_TRUE(waitFor(isPanelShown));
    EXPECT_EQ(first.state(), QProcess::Running);

    EXPECT_EQ(velmora({"--quit"}).status, 0);
    ASSERT_TRUE(waitForEnd(first));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    const Finished toggle = velmora({"--toggle"});
    EXPECT_NE(toggle.status, 0);
    EXPECT_EQ(toggle.errors, "velmora: Velmora is not running on this display\n");
    EXPECT_EQ(velmora({"--quit"}).status, 1);
}

TEST_F(SingleInstanceTest, AStaleSocketLeftByACrashDoesNotBlockTheNextStart)
{
    // A socket file that nobody listens on any more, as a killed Velmora leaves it.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(stale, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath());
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    ASSERT_TRUE(QFileInfo::exists(socketPath()));

    QProcess& first = startFirst();
    EXPECT_EQ(velmora({"--toggle"}).status, 0);
    EXPECT_TRUE(waitFor(isPanelShown));
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(SingleInstanceTest, OptionsAnswerWithoutStartingTheGuiAutostartHelpAndUnknownOnes)
{
    const QString entry = m_config.filePath(QStringLiteral("autostart/velmora.desktop"));
    EXPECT_EQ(velmora({"--autostart", "on"}).status, 0);
    QFile written(entry);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("\nExec=" VELMORA_EXECUTABLE "\n"));
    EXPECT_EQ(run(QStringLiteral("desktop-file-validate"), {entry}).status, 0);
    EXPECT_EQ(velmora({"--autostart"}).output, "on\n");
    EXPECT_EQ(velmora({"--autostart=off"}).status, 0);
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_EQ(velmora({"--autostart"}).output, "off\n");

    const Finished help = velmora({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.output.contains("--autostart"));
    const Finished unknown = velmora({"--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.output, QByteArray());
    EXPECT_EQ(unknown.errors.count('\n'), 1) << unknown.errors.toStdString();
    EXPECT_TRUE(unknown.errors.contains("--frobnicate"));
    EXPECT_FALSE(isListening()) << "an option started the GUI";
}

class SingleInstanceServerTest : public SingleInstanceTest
{
protected:
    void SetUp() override
    {
        SingleInstanceTest::SetUp();
        m_server = SingleInstance::listen(socketPath());
        ASSERT_TRUE(m_server);
    }

    std::unique_ptr<SingleInstance> m_server;
};

TEST_F(SingleInstanceServerTest, ClientsThatSayNothingOrAnythingButARequestLineHoldUpNoOther)
{
    QSignalSpy toggles(m_server.get(), &SingleInstance::toggleRequested);
    QSignalSpy quits(m_server.get(), &SingleInstance::quitRequested);
    QLocalSocket silent;
    silent.connectToServer(socketPath());
    ASSERT_TRUE(silent.waitForConnected(1000));
    // The exact lines themselves are checked by the parser's test.
    for (const auto& payload :
         {QByteArray("hello\n"), QByteArray("toggle\0\n", 8), QByteArray(1000, 'x'), QByteArray("toggle")}) {
        SCOPED_TRACE(payload.left(20).toStdString());
        QLocalSocket client;
        client.connectToServer(socketPath());
        ASSERT_TRUE(client.waitForConnected(1000));
        client.write(payload);
        // Dropped without an answer: at once for a wrong line, after the deadline for an unfinished one.
        EXPECT_TRUE(waitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }));
        EXPECT_EQ(client.readAll(), QByteArray());
    }
    EXPECT_EQ(toggles.count(), 0);

    EXPECT_EQ(velmora({"--toggle"}).status, 0);
    EXPECT_EQ(toggles.count(), 1);
    EXPECT_EQ(quits.count(), 0);
    EXPECT_TRUE(waitFor([&] { return silent.state() == QLocalSocket::UnconnectedState; }));
}

TEST_F(SingleInstanceServerTest, ARequestFromAnotherUserIsRefused)
{
    if (::getuid() != 0) {
        GTEST_SKIP() << "running a client as another user needs root";
    }
    // Loosened modes let user nobody reach the socket, so that only the peer check stands in its way.
    ASSERT_EQ(::chmod(QFile::encodeName(m_runtime.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(socketPath()).constData(), 0777), 0);
    const QStringList asNobody{"--reuid=65534", "--regid=65534", "--clear-groups"};
    ASSERT_EQ(run("setpriv", asNobody + QStringList{"test", "-w", socketPath()}).status, 0)
        << "user nobody cannot reach the socket";
    QSignalSpy toggles(m_server.get(), &SingleInstance::toggleRequested);

    const Finished refused = run("setpriv", asNobody + QStringList{VELMORA_EXECUTABLE, "--toggle"});
    EXPECT_EQ(refused.status, 1) << refused.errors.toStdString();
    EXPECT_EQ(refused.errors, "velmora: the running Velmora did not answer\n");
    EXPECT_EQ(toggles.count(), 0);

    EXPECT_EQ(velmora({"--toggle"}).status, 0);
    EXPECT_EQ(toggles.count(), 1);
}

} // namespace
