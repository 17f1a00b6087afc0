#include "app/instance_paths.h"
#include "app/instance_request.h"
#include "app/peer_credentials.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// A Wayland session is named after its Wayland display, even where Velmora runs on XWayland there.
TEST(InstancePathsTest, NamesOneSocketPerDisplayWhateverItsScreenOrSpelling)
{
    const QString runtime = QStringLiteral("/run/user/1000");
    const auto socket = [&](const char* variables) {
        QProcessEnvironment environment;
        for (const auto& variable : QString::fromUtf8(variables).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        }
        const auto path = InstancePaths::forSession(runtime, environment).socket;
        EXPECT_EQ(path.section(QLatin1Char('/'), 0, -2), runtime) << variables;
        return path;
    };
    // Name, two sessions, whether they share one socket.
    const std::tuple<const char*, const char*, const char*, bool> rows[] = {
        {"screens of one X display", "DISPLAY=:12.1", "DISPLAY=:12", true},
        {"the local host spelt out", "DISPLAY=unix:0", "DISPLAY=:0.0", true},
        {"two X displays", "DISPLAY=:0", "DISPLAY=:1", false},
        {"a host of slashes", "DISPLAY=../../etc:0", "DISPLAY=:0", false},
        {"two Wayland sessions", "WAYLAND_DISPLAY=wayland-0", "WAYLAND_DISPLAY=wayland-1", false},
        {"one Wayland session, Qt told to use XWayland", "WAYLAND_DISPLAY=wayland-1 DISPLAY=:1 QT_QPA_PLATFORM=xcb",
         "WAYLAND_DISPLAY=wayland-1 DISPLAY=:1", true},
        {"a Wayland display by name and by path", "XDG_RUNTIME_DIR=/run/user/1000 WAYLAND_DISPLAY=wayland-1",
         "XDG_RUNTIME_DIR=/run/user/1000 WAYLAND_DISPLAY=/run/user/1000/wayland-1", true},
        {"a compositor nested in an X11 session", "XDG_SESSION_TYPE=x11 DISPLAY=:0 WAYLAND_DISPLAY=wayland-9",
         "DISPLAY=:0", true},
    };
    for (const auto& [name, first, second, isShared] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(socket(first) == socket(second), isShared);
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
