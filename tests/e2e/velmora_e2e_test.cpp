// The real velmora executable on a desktop of its own (Xvfb, openbox, a tint2 tray), driven only from
// outside: xclip copies and reads the clipboard, xdotool moves the pointer, clicks and types.

#include "tests/e2e/velmora_desktop.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcessEnvironment>
#include <QScreen>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

bool isAlertActive()
{
    const WindowId alert = velmoraWindow("_NET_WM_WINDOW_TYPE_DIALOG");
    return isViewable(alert) && activeWindowByXdotool() == alert;
}

/// Whether the panel as drawn has nothing where a second row would be.
bool listsOneRowAtMost()
{
    const auto image = QGuiApplication::primaryScreen()->grabWindow(panelWindow()).toImage();
    const QRect secondRowText(12, firstRowInPanel.y() + 24, 280, 20);
    for (int y = secondRowText.top(); y <= secondRowText.bottom(); ++y) {
        for (int x = secondRowText.left(); x <= secondRowText.right(); ++x) {
            if (image.pixel(x, y) != image.pixel(secondRowText.topLeft())) {
                return false;
            }
        }
    }
    return !image.isNull();
}

using VelmoraTest = DesktopTest;

TEST_F(VelmoraTest, TextsAndAnImageCopiedByOtherApplicationsShowUpNewestFirst)
{
    startTray();
    startVelmora();
    copy("copied text");
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 90));
    QBuffer png;
    ASSERT_TRUE(png.open(QIODevice::WriteOnly) && picture.save(&png, "PNG"));
    copy(png.data(), QStringLiteral("image/png"));

    // The rows are read back through the clipboard: the second row is the text, the first the picture.
    openWithHotKey();
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel + QPoint(0, 60)));
    EXPECT_TRUE(waitFor([] { return readClipboardWithXclip() == "copied text"; }));

    openWithHotKey();
    // On a busy machine a click may come before the window manager has given the panel back its place.
    ASSERT_TRUE(waitFor([] { return activeWindowByXdotool() == panelWindow(); }));
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel));
    QImage back;
    EXPECT_TRUE(waitFor([&] { return back.loadFromData(readClipboardWithXclip(QStringLiteral("image/png"))); }));
    EXPECT_EQ(back.size(), picture.size());
    EXPECT_EQ(back.pixelColor(10, 10), QColor(200, 40, 90));
}

TEST_F(VelmoraTest, TheHotKeyTogglesThePanelUnderThePointerAndItsQuitButtonEndsVelmoraWithStatusZero)
{
    startTray();
    QProcess& velmora = startVelmora();
    ASSERT_TRUE(xdotool({"mousemove", "720", "300"}));
    openWithHotKey();
    const WindowId panel = panelWindow();
    // Centred on the pointer, its top edge 10 below it.
    EXPECT_EQ(geometry(panel), QRect(560, 310, 320, 420));
    EXPECT_TRUE(waitFor([&] { return activeWindowByXdotool() == panel; }));
    ASSERT_TRUE(xdotool({"key", "super+shift+c"}));
    EXPECT_TRUE(waitFor([&] { return !isViewable(panel); }));

    openWithHotKey();
    ASSERT_TRUE(clickAt(geometry(panel).topLeft() + quitButtonInPanel));
    ASSERT_TRUE(waitForEnd(velmora));
    EXPECT_EQ(velmora.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(velmora.exitCode(), 0);
}

TEST_F(VelmoraTest, TypingFiltersTheListAndClickingARowPastesItIntoTheWindowActiveBefore)
{
    startTray();
    startVelmora();
    copy("apple pie");
    copy("banana split");
    copy("cherry tart");
    const auto target = PasteTarget::start();
    ASSERT_TRUE(target);
    ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == target->window(); }));

    openWithHotKey();
    ASSERT_TRUE(waitFor([] { return !listsOneRowAtMost(); }));
    // The search field takes the focus a moment after the panel shows; keys typed before it are lost.
    for (int attempt = 0; attempt < 10 && !listsOneRowAtMost(); ++attempt) {
        ASSERT_TRUE(xdotool({"key", "ctrl+a", "type", "BAN"}));
        static_cast<void>(waitFor(listsOneRowAtMost, 1s));
    }
    ASSERT_TRUE(listsOneRowAtMost());
    // A modifier the user still holds must not turn the paste chord into another one.
    ASSERT_TRUE(xdotool({"keydown", "shift"}));
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel));

    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
    EXPECT_TRUE(waitFor([&] { return target->text() == QStringLiteral("banana split"); }))
        << "the target holds: " << target->text().toStdString();
    ASSERT_TRUE(xdotool({"keyup", "shift"}));
    EXPECT_TRUE(isViewable(trayIcon())) << "hiding Velmora took its icon out of the tray";
}

TEST_F(VelmoraTest, TheTrayIconTogglesThePanelItsRightClickShowsTheAboutAlertOverIt)
{
    startTray();
    startVelmora();
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
    ASSERT_TRUE(waitFor(isAlertActive));
    EXPECT_TRUE(isPanelShown());
    // Its texts are selectable: walk the focus through them, copying each, until both were read back.
    QStringList texts;
    EXPECT_TRUE(waitFor(
        [&] {
            static_cast<void>(xdotool({"key", "Tab", "ctrl+a", "ctrl+c"}));
            texts.append(QString::fromUtf8(readClipboardWithXclip()));
            return texts.contains(QString::fromUtf8("Velmora by Hollin \xF0\x9F\xA5\xA7")) &&
                   texts.contains(QStringLiteral("Velmora runs quietly in your menu bar.\n\nEvery time you copy "
                                                 "text or images, it remembers them.\n\nClick the menu bar icon or "
                                                 "press Super+Shift+C to see your history."));
        },
        30s))
        << texts.join(" | ").toStdString();
    ASSERT_TRUE(xdotool({"key", "Return"}));
    EXPECT_TRUE(waitFor([] { return !isViewable(velmoraWindow("_NET_WM_WINDOW_TYPE_DIALOG")); }));
    EXPECT_TRUE(isPanelShown());

    // Another application taking the focus from the alert hides the panel too.
    ASSERT_TRUE(clickAt(icon, 3));
    ASSERT_TRUE(waitFor(isAlertActive));
    const auto other = PasteTarget::start();
    ASSERT_TRUE(other);
    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
}

// A capture may be running, or queued by the watcher, when the request to quit is handled.
TEST_F(VelmoraTest, QuittingDuringACaptureEndsWithStatusZero)
{
    const QByteArray fiftyMegabytes(50 << 20, 'x');
    for (const bool silentOwner : {false, true, false}) {
        SCOPED_TRACE(silentOwner ? "an owner that never answers" : "a large text");
        QProcess& velmora = startVelmora();
        if (silentOwner) {
            QProcess& owner = spawn(QStringLiteral(VELMORA_CLIPBOARD_OWNER), {"silent", "UTF8_STRING", "/dev/null"},
                                    QProcess::SeparateChannels);
            ASSERT_TRUE(waitFor([&] { return owner.canReadLine(); }));
        } else {
            // Velmora has asked for the list of forms and is about to read the text.
            copy(fiftyMegabytes);
        }
        EXPECT_EQ(run(QStringLiteral(VELMORA_EXECUTABLE), {"--quit"}, 30s).status, 0);
        ASSERT_TRUE(waitForEnd(velmora, 30s));
        EXPECT_EQ(velmora.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(velmora.exitCode(), 0);
        TearDown();
    }
}

// At login the tray host may start after the programs that dock in it, and it may be restarted.
TEST_F(VelmoraTest, WithoutATrayTheHotKeyWorksAndTheIconAppearsWhenATrayHostStartsLaterOrRestarts)
{
    startVelmora();
    EXPECT_EQ(trayIcon(), 0u);
    openWithHotKey();

    for (const char* round : {"started late", "restarted"}) {
        SCOPED_TRACE(round);
        QProcess& host = spawn(QStringLiteral("tint2"), {"-c", VELMORA_E2E_TINT2RC});
        EXPECT_TRUE(waitFor([] { return isViewable(trayIcon()); })) << "no tray icon";
        host.terminate();
        ASSERT_TRUE(waitForEnd(host));
        ASSERT_TRUE(waitFor([] { return trayIcon() == 0; }));
    }
}

// The session ends, or the X server dies: Velmora ends at once, saying why on one line, with no core dump.
TEST_F(VelmoraTest, EndsWithOneLineOfExplanationWhenItsXServerGoesAway)
{
    // A server of its own, to kill under it; Xvfb writes the display it chose to the given descriptor.
    QProcess& server =
        spawn(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"},
              QProcess::SeparateChannels);
    ASSERT_TRUE(waitFor([&] { return server.canReadLine(); }, 20s));
    const QString display = QStringLiteral(":") + QString::fromLatin1(server.readLine()).trimmed();
    QProcess& velmora = *m_processes.emplace_back(std::make_unique<QProcess>());
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    velmora.setProcessEnvironment(environment);
    velmora.start(QStringLiteral(VELMORA_EXECUTABLE), {});
    // Launching has finished once its panel's window exists there.
    ASSERT_TRUE(waitFor(
        [&] {
            return run(QStringLiteral("xwininfo"), {"-display", display, "-root", "-tree"}).output.contains("Velmora");
        },
        20s));
    QByteArray before;
    ASSERT_TRUE(waitFor([&] {
        before += velmora.readAllStandardError();
        return velmora.state() == QProcess::Running;
    }));

    server.kill();
    ASSERT_TRUE(waitForEnd(velmora, 20s));
    EXPECT_EQ(velmora.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(velmora.exitCode(), 0);
    const auto said = QString::fromLocal8Bit(velmora.readAllStandardError()).trimmed();
    EXPECT_EQ(said.count(QLatin1Char('\n')), 0) << said.toStdString();
    EXPECT_TRUE(said.contains(QLatin1String("X11"))) << said.toStdString();
}

} // namespace
