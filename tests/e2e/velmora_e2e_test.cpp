// The real velmora executable on a desktop of its own (Xvfb, openbox, a tint2 tray), driven only from
// outside: xclip copies and reads the clipboard, xdotool moves the pointer, clicks and types. Last, the
// single-instance channel's server in this process against clients that misbehave.

#include "app/instance_paths.h"
#include "app/single_instance.h"
#include "tests/e2e/velmora_desktop.h"
#include "tests/support/x_server.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>

#include <xcb/shape.h>

using namespace std::chrono_literals;

// At login the tray host may start after the programs that dock in it, and it may be restarted.
TEST_F(DesktopTest, TheTrayIconDocksInALateOrRestartedHostTogglesThePanelAndShowsAboutOnARightClick)
{
    startVelmora();
    // Once the hot key works Velmora has finished starting.
    openWithHotKey();
    ASSERT_TRUE(xdotool({"key", "super+shift+c"}));
    ASSERT_TRUE(waitFor([] { return !isPanelShown(); }));
    QProcess* host = nullptr;
    for (const char* round : {"started late", "restarted"}) {
        SCOPED_TRACE(round);
        if (host) {
            host->terminate();
            ASSERT_TRUE(waitForEnd(*host));
        }
        host = &spawn("tint2", {"-c", VELMORA_E2E_TINT2RC});
        ASSERT_TRUE(waitFor([] { return isViewable(trayIcon()); }, 30s)) << "no tray icon";
    }
    const QPoint icon = geometry(trayIcon()).center();
    ASSERT_TRUE(clickAt(icon));
    ASSERT_TRUE(waitFor(isPanelShown));
    // The pointer is on the tray icon at the bottom-left: the panel sits right above the bar.
    EXPECT_EQ(geometry(panelWindow()), QRect(0, 900 - 30 - 420, 320, 420));
    ASSERT_TRUE(clickAt(icon));
    ASSERT_TRUE(waitFor([] { return !isPanelShown(); }));
    ASSERT_TRUE(clickAt(icon));
    ASSERT_TRUE(waitFor(isPanelShown));

    ASSERT_TRUE(clickAt(icon, 3));
    ASSERT_TRUE(waitFor([] {
        const WindowId alert = velmoraWindow("_NET_WM_WINDOW_TYPE_DIALOG");
        return isViewable(alert) && windowByXdotool() == alert;
    }));
    EXPECT_TRUE(isPanelShown());
    // Another application taking the focus from the alert hides the panel too.
    const PasteTarget other;
    ASSERT_NE(other.window, 0u);
    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
}

// A crashed Velmora leaves its socket behind: the next takes its place, and a second launch reaches it. Its
// panel opens under the pointer above the others on every desktop, pastes a filtered row into the window active
// before, and its quit button ends Velmora. The tray icon's case checks that another application taking the
// focus hides it.
TEST_F(DesktopTest, TheHotKeyOpensThePanelWhoseRowsPasteAndWhoseQuitButtonEndsVelmora)
{
    QProcess& crashed = startVelmora();
    crashed.kill();
    ASSERT_TRUE(waitFor([&] { return crashed.state() == QProcess::NotRunning && panelWindow() == 0; }));
    QProcess& velmora = startVelmora();
    // Its history stays out of core dumps; nor can another process of the user attach to it here, which a test
    // run as root cannot see.
    QFile limits(QStringLiteral("/proc/%1/limits").arg(velmora.processId()));
    ASSERT_TRUE(limits.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromLatin1(limits.readAll()).contains(QRegularExpression("Max core file size +0 +0 ")));
    copy("banana split");
    copy("cherry tart");
    const PasteTarget target;
    ASSERT_NE(target.window, 0u);
    ASSERT_TRUE(waitFor([&] { return windowByXdotool() == target.window; }));
    ASSERT_TRUE(xdotool({"mousemove", "720", "300"}));
    openWithHotKey();
    const WindowId panel = panelWindow();
    // Centred on the pointer, its top edge 10 below it.
    EXPECT_EQ(geometry(panel), QRect(560, 310, 320, 420));
    // The window manager drops the desktop of a window it unmaps: each show sets it again.
    const auto isAboveOnEveryDesktop = [&] {
        const auto said = run("xprop", {"-id", QString::number(panel), "_NET_WM_STATE", "_NET_WM_DESKTOP"}).output;
        return said.contains("_NET_WM_STATE_ABOVE") && said.contains("4294967295");
    };
    EXPECT_TRUE(waitFor(isAboveOnEveryDesktop));
    // Without a compositor the window is cut to the rounded card, which takes more than one rectangle.
    auto* const x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const std::unique_ptr<xcb_shape_get_rectangles_reply_t, decltype(&std::free)> shape(
        xcb_shape_get_rectangles_reply(x, xcb_shape_get_rectangles(x, panel, XCB_SHAPE_SK_BOUNDING), nullptr),
        std::free);
    EXPECT_GT(shape ? shape->rectangles_len : 0, 1);
    // A second launch toggles the panel of the first.
    ASSERT_EQ(run(VELMORA_EXECUTABLE, {}).status, 0);
    EXPECT_TRUE(waitFor([&] { return !isViewable(panel); }));

    openWithHotKey();
    EXPECT_TRUE(waitFor(isAboveOnEveryDesktop));
    // Whether the panel as drawn has one colour all over where a second row would be.
    const auto listsOneRow = [&] {
        const QImage row = QGuiApplication::primaryScreen()->grabWindow(panel).toImage().copy(12, 76, 280, 20);
        return !row.isNull() && row == row.copy(0, 0, 1, 1).scaled(row.size());
    };
    // The search field takes the focus a moment after the panel shows; keys typed before it are lost.
    const auto filter = [&] {
        return waitFor([&] { return xdotool({"key", "ctrl+a", "type", "BAN"}) && waitFor(listsOneRow, 1s); }, 30s);
    };
    ASSERT_TRUE(waitFor([&] { return !listsOneRow(); }));
    ASSERT_TRUE(filter());
    // Hidden and shown again at once, with the search emptied: the window manager may withdraw the window only
    // after the show set its desktop again.
    ASSERT_TRUE(xdotool({"key", "super+shift+c", "super+shift+c"}));
    ASSERT_TRUE(waitFor([&] { return isViewable(panel) && !listsOneRow(); }));
    EXPECT_TRUE(waitFor(isAboveOnEveryDesktop));
    ASSERT_TRUE(filter());
    // A modifier the user still holds must not turn the paste chord into another one.
    ASSERT_TRUE(xdotool({"keydown", "shift"}));
    ASSERT_TRUE(clickAt(geometry(panel).topLeft() + firstRowInPanel));
    EXPECT_TRUE(waitFor([&] { return !isViewable(panel); }));
    EXPECT_TRUE(waitFor([&] { return target.text() == QStringLiteral("banana split"); }))
        << "the target holds: " << target.text().toStdString();
    ASSERT_TRUE(xdotool({"keyup", "shift"}));

    openWithHotKey();
    ASSERT_TRUE(clickAt(geometry(panel).topLeft() + quitButtonInPanel));
    EXPECT_EQ(exitCodeAtEnd(velmora), 0);
}

// A screen reader, through AT-SPI in Python (a11y_probe.py), finds the panel's controls and rows and hears the
// selection move.
TEST_F(DesktopTest, AScreenReaderFindsThePanelsControlsAndRows)
{
    // A session bus of the test's own and on it the accessibility bus, switched on as a desktop does it
    // for a screen reader.
    QProcess& bus = spawn("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(waitFor([&] { return bus.canReadLine(); })) << "no session bus";
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    spawn(VELMORA_AT_SPI_BUS_LAUNCHER, {"--launch-immediately"});
    const QStringList setProperty = QString("--session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                                            "org.freedesktop.DBus.Properties.Set string:org.a11y.Status "
                                            "string:IsEnabled variant:boolean:true")
                                        .split(' ');
    ASSERT_TRUE(waitFor([&] { return run("dbus-send", setProperty).status == 0; }, 30s)) << "no accessibility bus";
    // Debian's Qt switches its AT-SPI bridge on only when asked to, or when a screen reader runs.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    startVelmora();
    // Once the hot key works Velmora has finished starting and watches the clipboard.
    openWithHotKey();
    copy("apple pie");
    copy("first line\nsecond line");
    // The probe waits for each thing with a deadline of its own.
    const Finished probe =
        run(VELMORA_SYSTEM_PYTHON, {VELMORA_A11Y_PROBE, "--row", "first line second line", "--row", "apple pie"}, 120s);
    EXPECT_EQ(probe.status, 0) << probe.output.toStdString() << probe.errors.toStdString();
}

// When the request to quit comes, the capture waits for an owner that never answers, or composes a huge
// decomposed text, which took minutes once. Velmora ends within 2 s; 10 s here, for a busy machine.
TEST_F(DesktopTest, QuittingDuringACaptureEndsAtOnceWithStatusZero)
{
    for (const bool isOwnerSilent : {true, false}) {
        SCOPED_TRACE(isOwnerSilent ? "silent owner" : "decomposed text");
        QProcess& velmora = startVelmora();
        if (isOwnerSilent) {
            QProcess& owner = spawn(VELMORA_CLIPBOARD_OWNER, {"silent", "UTF8_STRING", "/dev/null"});
            ASSERT_TRUE(waitFor([&] { return owner.canReadLine(); }));
        } else {
            copy(QStringLiteral("Cafe\u0301").repeated(1 << 20).toUtf8());
        }
        EXPECT_EQ(run(VELMORA_EXECUTABLE, {"--quit"}, 30s).status, 0);
        EXPECT_TRUE(waitForEnd(velmora, 10s));
        EXPECT_EQ(exitCodeAtEnd(velmora), 0);
    }
}

// Started with no display, as from a text console or over SSH, Velmora ends with status 1; when the session
// ends, or the X server dies, at once with no core dump. Either way it says why on one line. Where no window
// manager runs, its paste lands all the same.
TEST_F(DesktopTest, PastesWithoutAWindowManagerAndEndsWithOneLineWithoutADisplayOrWhenItsXServerGoesAway)
{
    const auto alone =
        run("env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", VELMORA_EXECUTABLE}, 60s);
    EXPECT_EQ(alone.status, 1);
    const auto saidAlone = QString::fromLocal8Bit(alone.errors).trimmed();
    EXPECT_TRUE(saidAlone.contains("no display") && !saidAlone.contains('\n')) << saidAlone.toStdString();

    // A server of its own to end under it. What the test starts from here on goes there, where no window manager
    // moves the focus.
    auto server = XServer::start(XServer::WindowManager::None);
    ASSERT_TRUE(server);
    // Without a runtime folder Qt would warn of it at any moment.
    const QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const PasteTarget target;
    ASSERT_NE(target.window, 0u);
    QProcess& velmora = spawn(VELMORA_EXECUTABLE, {}, QProcess::SeparateChannels);
    ASSERT_TRUE(waitFor([] { return panelWindow() != 0; }, 30s)) << velmora.readAllStandardError().data();
    copy("pasted without a window manager");
    ASSERT_EQ(run(VELMORA_EXECUTABLE, {"--toggle"}).status, 0);
    ASSERT_TRUE(waitFor([] { return windowByXdotool({"getwindowfocus", "-f"}) == panelWindow(); }));
    // Nothing but Velmora gives the focus back to the window the paste goes to.
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel));
    EXPECT_TRUE(waitFor([&] { return target.text() == QStringLiteral("pasted without a window manager"); }));
    // What it said while starting is not its last word.
    const QByteArray before = velmora.readAllStandardError();
    ASSERT_EQ(velmora.state(), QProcess::Running) << before.data();

    server.reset();
    EXPECT_GT(exitCodeAtEnd(velmora), 0);
    const auto said = QString::fromLocal8Bit(velmora.readAllStandardError()).trimmed();
    EXPECT_TRUE(said.contains("X11") && !said.contains('\n')) << said.toStdString();
}

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
