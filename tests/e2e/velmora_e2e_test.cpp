// The real velmora executable on a desktop of its own (Xvfb, openbox, a tint2 tray), driven only from
// outside: xclip copies and reads the clipboard, xdotool moves the pointer, clicks and types.

#include "tests/x11/x11_test_helpers.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

QT_BEGIN_NAMESPACE
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

using namespace std::chrono_literals;

using WindowId = std::uint32_t;

// The quit button sits at the right end of the header, the first row right under it.
constexpr QPoint quitButtonInPanel(301, 18);
constexpr QPoint firstRowInPanel(160, 52);
constexpr int rowPitch = 31;

/// Runs a command with `input` on its standard input; its standard output when it succeeds within 5 s.
std::optional<QByteArray> runWithInput(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(5000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

bool xdotool(const QStringList& arguments)
{
    return run(QStringLiteral("xdotool"), arguments).has_value();
}

bool copyText(const QString& text)
{
    return runWithInput(QStringLiteral("xclip"), {"-selection", "clipboard", "-i"}, text.toUtf8()).has_value();
}

bool copyImage(const QImage& image, const QString& path)
{
    return image.save(path, "PNG") &&
           run(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-i", path}).has_value();
}

std::optional<QString> clipboardText()
{
    return run(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
}

std::optional<QByteArray> clipboardBytes(const QString& target)
{
    return runWithInput(QStringLiteral("xclip"), {"-selection", "clipboard", "-o", "-t", target}, {});
}

QString property(WindowId window, const QString& name)
{
    return run(QStringLiteral("xprop"), {"-id", QString::number(window), name}).value_or(QString());
}

bool isViewable(WindowId window)
{
    return run(QStringLiteral("xwininfo"), {"-id", QString::number(window)})
        .value_or(QString())
        .contains(QLatin1String("IsViewable"));
}

QRect geometry(WindowId window)
{
    const auto shell = run(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", QString::number(window)});
    QRect rect;
    for (const auto& line : shell.value_or(QString()).split('\n')) {
        const auto value = line.section('=', 1).toInt();
        if (line.startsWith("X=")) {
            rect.moveLeft(value);
        } else if (line.startsWith("Y=")) {
            rect.moveTop(value);
        } else if (line.startsWith("WIDTH=")) {
            rect.setWidth(value);
        } else if (line.startsWith("HEIGHT=")) {
            rect.setHeight(value);
        }
    }
    return rect;
}

/// Velmora's windows whose properties contain `mark`.
std::optional<WindowId> velmoraWindow(const QString& propertyName, const QString& mark)
{
    const auto windows = run(QStringLiteral("xdotool"), {"search", "--class", "^Velmora$"});
    for (const auto& line : windows.value_or(QString()).split('\n', Qt::SkipEmptyParts)) {
        const WindowId window = line.toUInt();
        if (property(window, propertyName).contains(mark)) {
            return window;
        }
    }
    return std::nullopt;
}

std::optional<WindowId> panelWindow()
{
    return velmoraWindow("_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_UTILITY");
}

std::optional<WindowId> alertWindow()
{
    const auto window = velmoraWindow("_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG");
    return window && isViewable(*window) ? window : std::nullopt;
}

/// Velmora's window embedded in the tray host's bar.
std::optional<WindowId> trayIcon()
{
    const auto hosts = run(QStringLiteral("xdotool"), {"search", "--class", "^tint2$"});
    for (const auto& host : hosts.value_or(QString()).split('\n', Qt::SkipEmptyParts)) {
        const auto tree = run(QStringLiteral("xwininfo"), {"-tree", "-id", host});
        for (const auto& line : tree.value_or(QString()).split('\n')) {
            if (line.contains(QLatin1String("\"Velmora\")"))) {
                bool ok = false;
                const WindowId window = line.trimmed().section(' ', 0, 0).toUInt(&ok, 16);
                if (ok) {
                    return window;
                }
            }
        }
    }
    return std::nullopt;
}

bool isPanelShown()
{
    const auto panel = panelWindow();
    return panel && isViewable(*panel);
}

class VelmoraTest : public ::testing::Test
{
protected:
    enum class Tray
    {
        Running,
        Absent,
    };

    void SetUp() override { ASSERT_TRUE(m_files.isValid()); }

    void TearDown() override
    {
        for (QProcess* process : {&m_velmora, &m_tray}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(2000)) {
                    process->kill();
                    process->waitForFinished();
                }
            }
        }
    }

    /// Starts the tray host (unless absent) and Velmora, and waits until Velmora is up: its tray icon
    /// embedded, or without a tray its hot key answering.
    void start(Tray tray = Tray::Running)
    {
        if (tray == Tray::Running) {
            m_tray.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            m_tray.start(QStringLiteral("tint2"), {"-c", VELMORA_E2E_TINT2RC});
            ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5s)) << "no tray host";
        }
        auto environment = QProcessEnvironment::systemEnvironment();
        // Without a session bus Qt takes the XEmbed tray that tint2 hosts.
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        m_velmora.setProcessEnvironment(environment);
        m_velmora.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_velmora.start(QStringLiteral(VELMORA_EXECUTABLE), {});
        ASSERT_TRUE(m_velmora.waitForStarted(5000));
        if (tray == Tray::Running) {
            ASSERT_TRUE(waitFor([] { return trayIcon().has_value(); }, 5s)) << "no tray icon";
        }
    }

    /// Presses the hot key until the panel shows: the first presses may come before the grab.
    void openWithHotKey()
    {
        for (int attempt = 0; attempt < 10 && !isPanelShown(); ++attempt) {
            ASSERT_TRUE(xdotool({"key", "super+shift+c"}));
            if (waitFor(isPanelShown, 1s)) {
                break;
            }
        }
        ASSERT_TRUE(isPanelShown());
    }

    /// Copies in another application and waits out one tick of the watcher, so that each copy counts.
    void copy(const QString& text)
    {
        ASSERT_TRUE(copyText(text));
        QThread::msleep(700);
    }

    void clickInPanel(QPoint offset)
    {
        const auto panel = panelWindow();
        ASSERT_TRUE(panel);
        const QPoint point = geometry(*panel).topLeft() + offset;
        ASSERT_TRUE(xdotool({"mousemove", QString::number(point.x()), QString::number(point.y()), "click", "1"}));
    }

    void clickTrayIcon(int button)
    {
        const auto icon = trayIcon();
        ASSERT_TRUE(icon);
        const QPoint centre = geometry(*icon).center();
        ASSERT_TRUE(xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click",
                             QString::number(button)}));
    }

    QTemporaryDir m_files;
    QProcess m_tray;
    QProcess m_velmora;
};

TEST_F(VelmoraTest, TextsAndAnImageCopiedByOtherApplicationsShowUpNewestFirst)
{
    start();
    copy(QStringLiteral("copied text"));
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 90));
    ASSERT_TRUE(copyImage(picture, m_files.filePath("picture.png")));
    QThread::msleep(700);

    // The rows are read back through the clipboard: the second row is the text, the first the picture.
    openWithHotKey();
    clickInPanel(firstRowInPanel + QPoint(0, 60));
    EXPECT_TRUE(waitFor([] { return clipboardText() == QStringLiteral("copied text"); }));

    openWithHotKey();
    clickInPanel(firstRowInPanel);
    std::optional<QByteArray> png;
    EXPECT_TRUE(waitFor([&] { return (png = clipboardBytes("image/png")).has_value(); }));
    const QImage back = QImage::fromData(png.value_or(QByteArray()));
    EXPECT_EQ(back.size(), picture.size());
    EXPECT_EQ(back.pixelColor(10, 10), QColor(200, 40, 90));
}

TEST_F(VelmoraTest, TheHotKeyOpensThePanelUnderThePointerAndClosesItAgain)
{
    start();
    ASSERT_TRUE(xdotool({"mousemove", "720", "300"}));
    openWithHotKey();
    const auto panel = panelWindow();
    ASSERT_TRUE(panel);
    // Centred on the pointer, its top edge 10 below it.
    EXPECT_EQ(geometry(*panel), QRect(560, 310, 320, 420));
    EXPECT_TRUE(waitFor([&] { return activeWindowByXdotool() == panel; }));
    EXPECT_NE(property(*panel, "_NET_WM_DESKTOP").indexOf("4294967295"), -1);

    ASSERT_TRUE(xdotool({"key", "super+shift+c"}));
    EXPECT_TRUE(waitFor([&] { return !isViewable(*panel); }));

    // Near the bottom-left corner it is pushed inside the area that the tray's bar leaves free.
    ASSERT_TRUE(xdotool({"mousemove", "100", "800"}));
    ASSERT_TRUE(xdotool({"key", "super+shift+c"}));
    ASSERT_TRUE(waitFor([&] { return isViewable(*panel); }));
    EXPECT_EQ(geometry(*panel), QRect(0, 900 - 30 - 420, 320, 420));
}

TEST_F(VelmoraTest, TypingFiltersTheList)
{
    start();
    copy(QStringLiteral("apple pie"));
    copy(QStringLiteral("banana split"));
    copy(QStringLiteral("cherry tart"));

    openWithHotKey();
    // The search field takes the focus a tenth of a second after the panel shows.
    QThread::msleep(300);
    ASSERT_TRUE(xdotool({"type", "--delay", "30", "BAN"}));
    QThread::msleep(200);
    clickInPanel(firstRowInPanel);
    EXPECT_TRUE(waitFor([] { return clipboardText() == QStringLiteral("banana split"); }));
}

TEST_F(VelmoraTest, ClickingARowPastesItIntoTheWindowThatWasActiveBefore)
{
    start();
    copy(QStringLiteral("older entry"));
    copy(QStringLiteral("newer entry"));
    const auto target = PasteTarget::start();
    ASSERT_TRUE(target);
    ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == target->window(); }));

    ASSERT_TRUE(xdotool({"mousemove", "700", "200"}));
    openWithHotKey();
    clickInPanel(firstRowInPanel + QPoint(0, rowPitch));

    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
    EXPECT_TRUE(waitFor([] { return clipboardText() == QStringLiteral("older entry"); }));
    EXPECT_TRUE(waitFor([&] { return target->text() == QStringLiteral("older entry"); }))
        << "the target holds: " << target->text().toStdString();
}

TEST_F(VelmoraTest, ALeftClickOnTheTrayIconTogglesThePanel)
{
    start();
    clickTrayIcon(1);
    ASSERT_TRUE(waitFor(isPanelShown));
    // The pointer is on the tray icon at the bottom-left: the panel sits right above the bar.
    EXPECT_EQ(geometry(*panelWindow()), QRect(0, 900 - 30 - 420, 320, 420));
    clickTrayIcon(1);
    EXPECT_TRUE(waitFor([] { return !isPanelShown(); }));
}

TEST_F(VelmoraTest, ARightClickOnTheTrayIconShowsTheAboutAlertAndLeavesThePanelOpen)
{
    start();
    clickTrayIcon(1);
    ASSERT_TRUE(waitFor(isPanelShown));

    clickTrayIcon(3);
    std::optional<WindowId> alert;
    ASSERT_TRUE(waitFor([&] { return (alert = alertWindow()).has_value(); }));
    ASSERT_TRUE(waitFor([&] { return activeWindowByXdotool() == alert; }));
    EXPECT_TRUE(isPanelShown());

    // Its texts are selectable: walk the focus through them, copying each, and read them back.
    QStringList texts;
    for (int field = 0; field < 4; ++field) {
        ASSERT_TRUE(xdotool({"key", "Tab", "ctrl+a", "ctrl+c"}));
        QThread::msleep(100);
        const auto text = clipboardText();
        if (text && !texts.contains(*text)) {
            texts.append(*text);
        }
    }
    texts.sort();
    EXPECT_EQ(texts, (QStringList{QString::fromUtf8("Velmora by Hollin \xF0\x9F\xA5\xA7"),
                                  QStringLiteral("Velmora runs quietly in your menu bar.\n\nEvery time you copy text or "
                                                 "images, it remembers them.\n\nClick the menu bar icon or press "
                                                 "Super+Shift+C to see your history.")}));

    ASSERT_TRUE(xdotool({"key", "Return"}));
    EXPECT_TRUE(waitFor([] { return !alertWindow(); }));
    EXPECT_TRUE(isPanelShown());
}

TEST_F(VelmoraTest, TheQuitButtonEndsTheProcessWithStatusZero)
{
    start();
    openWithHotKey();
    clickInPanel(quitButtonInPanel);
    ASSERT_TRUE(m_velmora.waitForFinished(5000));
    EXPECT_EQ(m_velmora.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_velmora.exitCode(), 0);
}

TEST_F(VelmoraTest, WithoutATrayTheHotKeyStillOpensThePanel)
{
    start(Tray::Absent);
    openWithHotKey();
    EXPECT_FALSE(trayIcon());
    EXPECT_EQ(m_velmora.state(), QProcess::Running);
}

} // namespace
