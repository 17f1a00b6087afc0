// One Velmora per user and display: the real executable started twice, asked to toggle, and the
// channel's server in this process against clients that misbehave. Each test has its own
// XDG_RUNTIME_DIR, on a private Xvfb with openbox.

#include "app/instance_paths.h"
#include "app/single_instance.h"
#include "tests/e2e/velmora_desktop.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

class SingleInstanceTest : public DesktopTest
{
protected:
    void SetUp() override { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path())); }

    /// Starts a Velmora and waits until it takes requests.
    QProcess& startListening()
    {
        QProcess& started = startVelmora();
        QLocalSocket probe;
        EXPECT_TRUE(waitFor([&] { return probe.connectToServer(m_socket), probe.waitForConnected(1000); },
                            std::chrono::seconds(30)));
        return started;
    }

    QTemporaryDir m_runtime;
    QString m_socket = InstancePaths::forSession(m_runtime.path(), QProcessEnvironment::systemEnvironment()).socket;
};

// A crash leaves the socket behind: the next Velmora takes its place, and a second launch asks it.
TEST_F(SingleInstanceTest, ASecondLaunchOpensThePanelOfTheFirstEvenAfterACrash)
{
    QProcess& crashed = startListening();
    crashed.kill();
    ASSERT_TRUE(waitFor([&] { return crashed.state() == QProcess::NotRunning && panelWindow() == 0; }));
    ASSERT_TRUE(QFileInfo::exists(m_socket));
    startListening();
    ASSERT_FALSE(isPanelShown());
    EXPECT_EQ(run(VELMORA_EXECUTABLE, {}).status, 0);
    EXPECT_TRUE(waitFor([] { return isPanelShown() && windowByXdotool() == panelWindow(); }));
}

// Neither an option nor a client that sends no request line reaches the GUI; --toggle does.
TEST_F(SingleInstanceTest, OnlyARequestLineTogglesAndHelpOrAnUnknownOptionStartNoGui)
{
    EXPECT_EQ(run(VELMORA_EXECUTABLE, {"--help"}).status, 0);
    const Finished unknown = run(VELMORA_EXECUTABLE, {"--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.errors.contains("--frobnicate")) << unknown.errors.data();
    EXPECT_FALSE(QFileInfo::exists(m_socket)) << "an option started the GUI";
    const auto server = SingleInstance::listen(m_socket);
    ASSERT_TRUE(server);
    QSignalSpy toggles(server.get(), &SingleInstance::toggleRequested);
    QLocalSocket silent;
    silent.connectToServer(m_socket);
    ASSERT_TRUE(silent.waitForConnected(1000));
    // The exact lines themselves are checked by the parser's test.
    for (const auto& payload : {QByteArray("hello\n"), QByteArray("toggle\0\n", 8), QByteArray(1000, 'x')}) {
        SCOPED_TRACE(payload.left(20).toStdString());
        QLocalSocket client;
        client.connectToServer(m_socket);
        ASSERT_TRUE(client.waitForConnected(1000));
        client.write(payload);
        // Dropped without an answer.
        EXPECT_TRUE(waitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }));
    }
    EXPECT_EQ(toggles.count(), 0);
    EXPECT_EQ(run(VELMORA_EXECUTABLE, {"--toggle"}).status, 0);
    EXPECT_EQ(toggles.count(), 1);
}
