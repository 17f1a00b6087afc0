// The real velmora executable on a desktop of its own (Xvfb, openbox, a tint2 tray), driven only from
// outside: xclip copies and reads the clipboard, xdotool moves the pointer, clicks and types.

#include "tests/e2e/velmora_desktop.h"
#include "tests/x11/x11_test_helpers.h"

#include <QBuffer>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The quit button sits at the right end of the header, the first row right under it.
constexpr QPoint quitButtonInPanel(301, 18);
constexpr QPoint firstRowInPanel(160, 52);

class VelmoraTest : public ::testing::Test
{
protected:
    enum class Tray
    {
        Running,
        Absent,
    };

    void TearDown() override
    {
        // Whatever does not end at once is killed as its QProcess goes.
        for (const auto& process : m_processes) {
            process->terminate();
            process->waitForFinished(2000);
        }
    }

    QProcess& spawn(const QString& program, const QStringList& arguments,
                    QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel)
    {
        QProcess& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessChannelMode(channels);
        process.start(program, arguments);
        return process;
    }

    /// Starts the tray host (unless absent) and Velmora, and waits until Velmora is up: its tray icon
    /// embedded, or without a tray its process started.
    void start(Tray tray = Tray::Running)
    {
        // Without a session bus Qt takes the XEmbed tray that tint2 hosts.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        if (tray == Tray::Running) {
            spawn(QStringLiteral("tint2"), {"-c", VELMORA_E2E_TINT2RC});
            ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5s)) << "no tray host";
        }
        m_velmora = &spawn(QStringLiteral(VELMORA_EXECUTABLE), {});
        ASSERT_TRUE(m_velmora->waitForStarted(5000));
        if (tray == Tray::Running) {
            ASSERT_TRUE(waitFor([] { return trayIcon() != 0; }, 5s)) << "no tray icon";
        }
    }

    /// Copies in another application and waits until Velmora has read the copy: xclip numbers the
    /// requests it serves, and waits for the second once the first, Velmora's, is done.
    void copy(const QByteArray& data, const QString& type = QStringLiteral("UTF8_STRING"))
    {
        QProcess& xclip = spawn(QStringLiteral("xclip"), {"-verbose", "-selection", "clipboard", "-t", type, "-i"},
                                QProcess::MergedChannels);
        xclip.write(data);
        xclip.closeWriteChannel();
        QByteArray output;
        ASSERT_TRUE(waitFor([&] {
            output += xclip.readAll();
            return output.contains("request number 2");
        })) << output.toStdString();
    }

    /// Presses the hot key until the panel shows: the first presses may come before the grab.
    void openWithHotKey()
    {
        for (int attempt = 0; attempt < 10 && !isPanelShown(); ++attempt) {
            ASSERT_TRUE(xdotool({"key", "super+shift+c"}));
            static_cast<void>(waitFor(isPanelShown, 1s));
        }
        ASSERT_TRUE(isPanelShown());
    }

    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess* m_velmora = nullptr;
};

TEST_F(VelmoraTest, TextsAndAnImageCopiedByOtherApplicationsShowUpNewestFirst)
{
    start();
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
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel));
    QImage back;
    EXPECT_TRUE(waitFor([&] { return back.loadFromData(readClipboardWithXclip(QStringLiteral("image/png"))); }));
    EXPECT_EQ(back.size(), picture.size());
    EXPECT_EQ(back.pixelColor(10, 10), QColor(200, 40, 90));
}

TEST_F(VelmoraTest, TheHotKeyTogglesThePanelUnderThePointerAndItsQuitButtonEndsVelmoraWithStatusZero)
{
    start();
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
    ASSERT_TRUE(m_velmora->waitForFinished(5000));
    EXPECT_EQ(m_velmora->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_velmora->exitCode(), 0);
}

TEST_F(VelmoraTest, TypingFiltersTheListAndClickingARowPastesItIntoTheWindowActiveBefore)
{
    start();
    copy("apple pie");
    copy("banana split");
    copy("cherry tart");
    const auto target = PasteTarget::start();
    ASSERT_TRUE(target);
    ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == target->window(); }));

    openWithHotKey();
    ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == panelWindow(); }));
    // The search field takes the focus a tenth of a second after the panel shows.
    QThread::msleep(300);
    ASSERT_TRUE(xdotool({"type", "--delay", "30", "BAN"}));
    QThread::msleep(200);
    ASSERT_TRUE(clickAt(geometry(panelWindow()).topLeft() + firstRowInPanel));

    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
    EXPECT_TRUE(waitFor([&] { return target->text() == QStringLiteral("banana split"); }))
        << "the target holds: " << target->text().toStdString();
    EXPECT_TRUE(isViewable(trayIcon())) << "hiding Velmora took its icon out of the tray";
}

TEST_F(VelmoraTest, ALeftClickOnTheTrayIconTogglesThePanelAndARightClickShowsTheAboutAlertOverIt)
{
    start();
    const QPoint icon = geometry(trayIcon()).center();
    ASSERT_TRUE(clickAt(icon));
    ASSERT_TRUE(waitFor(isPanelShown));
    // The pointer is on the tray icon at the bottom-left: the panel sits right above the bar.
    EXPECT_EQ(geometry(panelWindow()), QRect(0, 900 - 30 - 420, 320, 420));

    ASSERT_TRUE(clickAt(icon, 3));
    const auto alertWindow = [] { return velmoraWindow("_NET_WM_WINDOW_TYPE_DIALOG"); };
    ASSERT_TRUE(waitFor([&] { return isViewable(alertWindow()) && activeWindowByXdotool() == alertWindow(); }));
    EXPECT_TRUE(isPanelShown());
    // Its texts are selectable: walk the focus through them, copying each, and read them back.
    QStringList texts;
    for (int field = 0; field < 4; ++field) {
        ASSERT_TRUE(xdotool({"key", "Tab", "ctrl+a", "ctrl+c"}));
        QThread::msleep(100);
        texts.append(QString::fromUtf8(readClipboardWithXclip()));
    }
    EXPECT_TRUE(texts.contains(QString::fromUtf8("Velmora by Hollin \xF0\x9F\xA5\xA7")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Velmora runs quietly in your menu bar.\n\nEvery time you copy text or "
                                              "images, it remembers them.\n\nClick the menu bar icon or press "
                                              "Super+Shift+C to see your history.")))
        << texts.join(" | ").toStdString();
    ASSERT_TRUE(xdotool({"key", "Return"}));
    EXPECT_TRUE(waitFor([&] { return !isViewable(alertWindow()); }));
    EXPECT_TRUE(isPanelShown());

    ASSERT_TRUE(clickAt(icon));
    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
}

// A capture may be running, or queued by the watcher, when the request to quit is handled.
TEST_F(VelmoraTest, QuittingDuringACaptureEndsWithStatusZero)
{
    const QByteArray fiftyMegabytes(50 << 20, 'x');
    for (const char* round : {"a large text", "an owner that never answers", "a large text again"}) {
        SCOPED_TRACE(round);
        start(Tray::Absent);
        ASSERT_TRUE(waitFor([] { return panelWindow() != 0; }));
        if (std::string_view(round) == "an owner that never answers") {
            QProcess& owner = spawn(QStringLiteral(VELMORA_CLIPBOARD_OWNER), {"silent"}, QProcess::SeparateChannels);
            ASSERT_TRUE(waitFor([&] { return owner.canReadLine(); }));
        } else {
            QProcess& xclip =
                spawn(QStringLiteral("xclip"), {"-verbose", "-selection", "clipboard", "-i"}, QProcess::MergedChannels);
            xclip.write(fiftyMegabytes);
            xclip.closeWriteChannel();
            // Velmora has asked for the list of forms and is about to read the text. Taking 50 MB in takes
            // xclip a while on a busy machine.
            QByteArray output;
            ASSERT_TRUE(waitFor(
                [&] {
                    output += xclip.readAll();
                    return output.contains("request number 2");
                },
                60s));
        }
        QProcess& quit = spawn(QStringLiteral(VELMORA_EXECUTABLE), {"--quit"});
        ASSERT_TRUE(quit.waitForFinished(30000));
        ASSERT_TRUE(m_velmora->waitForFinished(30000));
        EXPECT_EQ(m_velmora->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_velmora->exitCode(), 0);
        TearDown();
        m_processes.clear();
    }
}

TEST_F(VelmoraTest, WithoutATrayTheHotKeyStillOpensThePanel)
{
    start(Tray::Absent);
    openWithHotKey();
}

// At login the tray host may start after the programs that dock in it, and it may be restarted.
TEST_F(VelmoraTest, TheTrayIconAppearsWhenATrayHostStartsLaterAndAgainAfterItRestarts)
{
    start(Tray::Absent);
    // Launching has finished once the panel's window exists.
    ASSERT_TRUE(waitFor([] { return panelWindow() != 0; }));
    EXPECT_EQ(trayIcon(), 0u);

    for (const char* round : {"started late", "restarted"}) {
        SCOPED_TRACE(round);
        QProcess& host = spawn(QStringLiteral("tint2"), {"-c", VELMORA_E2E_TINT2RC});
        EXPECT_TRUE(waitFor([] { return isViewable(trayIcon()); })) << "no tray icon";
        host.terminate();
        ASSERT_TRUE(host.waitForFinished(10000));
        ASSERT_TRUE(waitFor([] { return trayIcon() == 0; }));
    }
}

TEST_F(VelmoraTest, ThePanelHidesWhenAnotherApplicationTakesTheFocusFromTheAboutAlert)
{
    start();
    ASSERT_TRUE(clickAt(geometry(trayIcon()).center()));
    ASSERT_TRUE(waitFor(isPanelShown));
    ASSERT_TRUE(clickAt(geometry(trayIcon()).center(), 3));
    const auto alertWindow = [] { return velmoraWindow("_NET_WM_WINDOW_TYPE_DIALOG"); };
    ASSERT_TRUE(waitFor([&] { return isViewable(alertWindow()) && activeWindowByXdotool() == alertWindow(); }));

    const auto other = PasteTarget::start();
    ASSERT_TRUE(other);
    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
}

} // namespace
