// One Velmora per user and display: the real executable started twice, asked to toggle or quit, and the
// channel's server in this process against clients that misbehave. Each test has its own
// XDG_RUNTIME_DIR and XDG_CONFIG_HOME, on a private Xvfb with openbox.

#include "app/instance_paths.h"
#include "app/single_instance.h"
#include "app/version.h"
#include "tests/e2e/velmora_desktop.h"
#include "tests/x11/x11_test_helpers.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct Finished
{
    int status = -1;
    QString output;
    QString errors;
};

class SingleInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid() && m_config.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    void TearDown() override
    {
        for (const auto& process : m_processes) {
            process->terminate();
            process->waitForFinished(2000);
        }
    }

    [[nodiscard]] QString socketPath() const
    {
        return InstancePaths::forDisplay(m_runtime.path(), qEnvironmentVariable("DISPLAY")).socket;
    }

    /// Starts velmora and leaves it running.
    QProcess& start(const QStringList& arguments = {})
    {
        QProcess& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.start(QStringLiteral(VELMORA_EXECUTABLE), arguments);
        return process;
    }

    /// Runs velmora to its end, serving this process's events meanwhile: the server may be ours.
    Finished run(const QStringList& arguments, const QStringList& prefix = {})
    {
        QProcess& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        const QString executable = QStringLiteral(VELMORA_EXECUTABLE);
        if (prefix.isEmpty()) {
            process.start(executable, arguments);
        } else {
            process.start(prefix.first(), prefix.mid(1) + QStringList{executable} + arguments);
        }
        if (!waitFor([&] { return process.state() == QProcess::NotRunning; }, 20s) ||
            process.exitStatus() != QProcess::NormalExit) {
            return {};
        }
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
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
        QProcess& first = start();
        EXPECT_TRUE(waitFor([&] { return isListening(); }, 10s)) << "velmora does not listen";
        return first;
    }

    QTemporaryDir m_runtime;
    QTemporaryDir m_config;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(SingleInstanceTest, ASecondLaunchOpensThePanelOfTheFirstAndExitsZero)
{
    QProcess& first = startFirst();
    ASSERT_FALSE(isPanelShown());

    EXPECT_EQ(run({}).status, 0);
    EXPECT_TRUE(waitFor(isPanelShown, 5s));
    EXPECT_EQ(first.state(), QProcess::Running);

    EXPECT_EQ(run({"--toggle"}).status, 0);
    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }, 5s));
    EXPECT_EQ(run({"--toggle"}).status, 0);
    EXPECT_TRUE(waitFor(isPanelShown, 5s));
}

TEST_F(SingleInstanceTest, TheSocketIsTheUsersAlone)
{
    startFirst();
    struct stat status
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(socketPath()).constData(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 077, 0u) << std::oct << status.st_mode;
    EXPECT_EQ(status.st_uid, ::getuid());
}

TEST_F(SingleInstanceTest, QuitEndsTheRunningOneWithStatusZeroAndToggleThenFindsNone)
{
    QProcess& first = startFirst();
    EXPECT_EQ(run({"--quit"}).status, 0);
    ASSERT_TRUE(waitFor([&] { return first.state() == QProcess::NotRunning; }, 10s));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    const Finished toggle = run({"--toggle"});
    EXPECT_NE(toggle.status, 0);
    EXPECT_EQ(toggle.errors, QStringLiteral("velmora: Velmora is not running on this display\n"));
    EXPECT_EQ(run({"--quit"}).status, 1);
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
    EXPECT_EQ(run({"--toggle"}).status, 0);
    EXPECT_TRUE(waitFor(isPanelShown, 5s));
    EXPECT_EQ(first.state(), QProcess::Running);
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

TEST_F(SingleInstanceServerTest, ASilentClientHoldsUpNoOtherAndIsDroppedAfterItsDeadline)
{
    QSignalSpy toggles(m_server.get(), &SingleInstance::toggleRequested);
    QLocalSocket silent;
    silent.connectToServer(socketPath());
    ASSERT_TRUE(silent.waitForConnected(1000));

    EXPECT_EQ(run({"--toggle"}).status, 0);
    EXPECT_EQ(toggles.count(), 1);
    EXPECT_TRUE(waitFor([&] { return silent.state() == QLocalSocket::UnconnectedState; }, 10s));
}

TEST_F(SingleInstanceServerTest, AnythingButARequestLineIsIgnoredAndTheServerGoesOn)
{
    QSignalSpy toggles(m_server.get(), &SingleInstance::toggleRequested);
    QSignalSpy quits(m_server.get(), &SingleInstance::quitRequested);
    const std::vector<QByteArray> payloads{
        "hello\n", "TOGGLE\n", "toggle please\n", "quit!\n", QByteArray(1000, 'x'), QByteArray("toggle\0\n", 8),
        "\n",      "toggle",
    };
    for (const auto& payload : payloads) {
        SCOPED_TRACE(payload.left(20).toStdString());
        QLocalSocket client;
        client.connectToServer(socketPath());
        ASSERT_TRUE(client.waitForConnected(1000));
        client.write(payload);
        // Dropped without an answer: at once for a wrong line, after the deadline for an unfinished one.
        EXPECT_TRUE(waitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }, 10s));
        EXPECT_EQ(client.readAll(), QByteArray());
    }
    EXPECT_EQ(toggles.count(), 0);
    EXPECT_EQ(quits.count(), 0);

    EXPECT_EQ(run({"--quit"}).status, 0);
    EXPECT_EQ(quits.count(), 1);
}

TEST_F(SingleInstanceServerTest, ARequestFromAnotherUserIsRefused)
{
    if (::getuid() != 0) {
        GTEST_SKIP() << "running a client as another user needs root";
    }
    // Loosened modes let user nobody reach the socket, so that only the peer check stands in its way.
    ASSERT_EQ(::chmod(QFile::encodeName(m_runtime.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(socketPath()).constData(), 0777), 0);
    const QStringList asNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    ASSERT_EQ(QProcess::execute(asNobody.first(), asNobody.mid(1) + QStringList{"test", "-w", socketPath()}), 0)
        << "user nobody cannot reach the socket";
    QSignalSpy toggles(m_server.get(), &SingleInstance::toggleRequested);

    const Finished refused = run({"--toggle"}, asNobody);
    EXPECT_EQ(refused.status, 1) << refused.errors.toStdString();
    EXPECT_EQ(refused.errors, QStringLiteral("velmora: the running Velmora did not answer\n"));
    EXPECT_EQ(toggles.count(), 0);

    EXPECT_EQ(run({"--toggle"}).status, 0);
    EXPECT_EQ(toggles.count(), 1);
}

TEST_F(SingleInstanceTest, AutostartIsTurnedOnAndOffForTheUserAndReported)
{
    const QString entry = m_config.filePath(QStringLiteral("autostart/velmora.desktop"));
    EXPECT_EQ(run({"--autostart"}).output, QStringLiteral("off\n"));
    EXPECT_EQ(run({"--autostart", "on"}).status, 0);
    QFile written(entry);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("\nExec=" VELMORA_EXECUTABLE "\n"));
    EXPECT_EQ(QProcess::execute(QStringLiteral("desktop-file-validate"), {entry}), 0);
    EXPECT_EQ(run({"--autostart"}).output, QStringLiteral("on\n"));
    EXPECT_EQ(run({"--autostart=off"}).status, 0);
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_EQ(run({"--autostart"}).output, QStringLiteral("off\n"));
    EXPECT_FALSE(isListening()) << "an option started the GUI";
}

TEST_F(SingleInstanceTest, HelpAndVersionAnswerAndAnUnknownOptionFailsWithStatusTwo)
{
    EXPECT_EQ(run({"--version"}).output, QStringLiteral("velmora %1\n").arg(QLatin1String(velmoraVersion)));
    const Finished help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--toggle", "--quit", "--autostart", "--help", "--version"}) {
        EXPECT_TRUE(help.output.contains(QLatin1String(option))) << option;
    }
    const Finished unknown = run({"--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.output, QString());
    EXPECT_EQ(unknown.errors.count(QLatin1Char('\n')), 1) << unknown.errors.toStdString();
    EXPECT_TRUE(unknown.errors.contains(QLatin1String("--frobnicate")));
    EXPECT_FALSE(isListening()) << "an unknown option started the GUI";
}

} // namespace
