#include "tests/e2e/velmora_desktop.h"

#include <QMap>
#include <QSystemTrayIcon>

#include <chrono>

using namespace std::chrono_literals;

namespace {

QStringList lines(const Finished& finished)
{
    return QString::fromLocal8Bit(finished.output).split('\n', Qt::SkipEmptyParts);
}

} // namespace

bool clickAt(QPoint point, int button)
{
    return xdotool(
        {"mousemove", QString::number(point.x()), QString::number(point.y()), "click", QString::number(button)});
}

bool isViewable(WindowId window)
{
    // Without a window xwininfo would wait for the user to pick one.
    return window != 0 && run("xwininfo", {"-id", QString::number(window)}).output.contains("IsViewable");
}

QRect geometry(WindowId window)
{
    // Lines of NAME=value: WINDOW, X, Y, WIDTH, HEIGHT, SCREEN.
    QMap<QString, int> values;
    for (const auto& line : lines(run("xdotool", {"getwindowgeometry", "--shell", QString::number(window)}))) {
        values[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    }
    return {values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

WindowId velmoraWindow(const char* type)
{
    for (const auto& window : lines(run("xdotool", {"search", "--class", "^Velmora$"}))) {
        if (run("xprop", {"-id", window, "_NET_WM_WINDOW_TYPE"}).output.contains(type)) {
            return window.toUInt();
        }
    }
    return 0;
}

WindowId panelWindow()
{
    return velmoraWindow("_NET_WM_WINDOW_TYPE_UTILITY");
}

bool isPanelShown()
{
    return isViewable(panelWindow());
}

WindowId trayIcon()
{
    for (const auto& host : lines(run("xdotool", {"search", "--class", "^tint2$"}))) {
        for (const auto& line : lines(run("xwininfo", {"-tree", "-id", host}))) {
            if (line.contains(QLatin1String("\"Velmora\")"))) {
                return line.trimmed().section(' ', 0, 0).toUInt(nullptr, 16);
            }
        }
    }
    return 0;
}

void DesktopTest::TearDown()
{
    // Velmora before the tray and the buses it talks to.
    for (auto process = m_processes.rbegin(); process != m_processes.rend(); ++process) {
        (*process)->terminate();
        if (!(*process)->waitForFinished(2000)) {
            (*process)->kill();
            (*process)->waitForFinished();
        }
    }
    m_processes.clear();
}

QProcess& DesktopTest::spawn(const QString& program, const QStringList& arguments,
                             QProcess::ProcessChannelMode channels)
{
    QProcess& process = *m_processes.emplace_back(std::make_unique<QProcess>());
    process.setProcessChannelMode(channels);
    process.start(program, arguments);
    return process;
}

QProcess& DesktopTest::startTray()
{
    QProcess& tray = spawn("tint2", {"-c", VELMORA_E2E_TINT2RC});
    EXPECT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) << "no tray host";
    m_trayRunning = true;
    return tray;
}

QProcess& DesktopTest::startVelmora(const QString& executable)
{
    QProcess& velmora = spawn(executable, {});
    if (m_trayRunning) {
        EXPECT_TRUE(waitFor([] { return trayIcon() != 0; }, 20s)) << "no tray icon";
    } else {
        // Launching has finished once the panel's window exists.
        EXPECT_TRUE(waitFor([] { return panelWindow() != 0; }, 20s)) << "no panel window";
    }
    return velmora;
}

QProcess& DesktopTest::copy(const QByteArray& data, const QString& type)
{
    QProcess& xclip =
        spawn("xclip", {"-verbose", "-selection", "clipboard", "-t", type, "-i"}, QProcess::MergedChannels);
    xclip.write(data);
    xclip.closeWriteChannel();
    // xclip numbers the requests it serves, and waits for the second once the first, Velmora's, is done.
    QByteArray output;
    EXPECT_TRUE(waitFor(
        [&] {
            output += xclip.readAll();
            return output.contains("request number 2");
        },
        60s))
        << output.toStdString();
    return xclip;
}

void DesktopTest::openWithHotKey()
{
    for (int attempt = 0; attempt < 10 && !isPanelShown(); ++attempt) {
        ASSERT_TRUE(xdotool({"key", "super+shift+c"}));
        static_cast<void>(waitFor(isPanelShown, 1s));
    }
    ASSERT_TRUE(isPanelShown());
}
