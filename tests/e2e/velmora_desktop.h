#pragma once

// What tests of the built or installed executable see of Velmora on their private desktop, asked
// from outside with xdotool, xprop, xwininfo and xclip.

#include "tests/support/desktop_programs.h"

#include <QRect>

#include <gtest/gtest.h>

/// An X window id; 0 for none.
using WindowId = std::uint32_t;

// The quit button sits at the right end of the header, the first row right under it.
constexpr QPoint quitButtonInPanel(301, 18);
constexpr QPoint firstRowInPanel(160, 52);

/// Velmora's windows and others, found and inspected from outside.
struct DesktopWindows
{
    /// The lines a program writes to its stdout.
    static QStringList linesOf(const QString& program, const QStringList& arguments)
    {
        return QString::fromLocal8Bit(run(program, arguments).output).split('\n', Qt::SkipEmptyParts);
    }

    static bool clickAt(QPoint point, int button = 1)
    {
        return xdotool(
            {"mousemove", QString::number(point.x()), QString::number(point.y()), "click", QString::number(button)});
    }

    static bool isViewable(WindowId window)
    {
        // Without a window xwininfo would wait for the user to pick one.
        return window != 0 && run("xwininfo", {"-id", QString::number(window)}).output.contains("IsViewable");
    }

    static QRect geometry(WindowId window)
    {
        // Lines of NAME=value: WINDOW, X, Y, WIDTH, HEIGHT, SCREEN.
        const auto values = linesOf("xdotool", {"getwindowgeometry", "--shell", QString::number(window)});
        const auto value = [&values](int line) { return values.value(line).section('=', 1).toInt(); };
        return {value(1), value(2), value(3), value(4)};
    }

    /// Velmora's window of this _NET_WM_WINDOW_TYPE, shown or not; 0 when there is none.
    static WindowId velmoraWindow(const char* type)
    {
        for (const auto& window : linesOf("xdotool", {"search", "--class", "^Velmora$"})) {
            if (run("xprop", {"-id", window, "_NET_WM_WINDOW_TYPE"}).output.contains(type)) {
                return window.toUInt();
            }
        }
        return 0;
    }

    static WindowId panelWindow() { return velmoraWindow("_NET_WM_WINDOW_TYPE_UTILITY"); }
    static bool isPanelShown() { return isViewable(panelWindow()); }
};

/// Starts programs on the test's desktop and ends them, the last started first, when the test ends.
class DesktopTest : public ::testing::Test, public DesktopWindows
{
protected:
    /// Without a session bus Qt takes the XEmbed tray that tint2 hosts.
    DesktopTest() { qunsetenv("DBUS_SESSION_BUS_ADDRESS"); }

    void TearDown() override
    {
        // Velmora before the tray and the buses it talks to.
        for (; !m_processes.empty(); m_processes.pop_back()) {
            m_processes.back()->terminate();
            static_cast<void>(m_processes.back()->waitForFinished(5000));
        }
    }

    /// Velmora's window embedded in the tint2 tray; 0 while there is none.
    static WindowId trayIcon()
    {
        for (const auto& host : linesOf("xdotool", {"search", "--class", "^tint2$"})) {
            for (const auto& line : linesOf("xwininfo", {"-tree", "-id", host})) {
                if (line.contains(QLatin1String("\"Velmora\")"))) {
                    return line.trimmed().section(' ', 0, 0).toUInt(nullptr, 16);
                }
            }
        }
        return 0;
    }

    QProcess& spawn(const QString& program, const QStringList& arguments,
                    QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel)
    {
        QProcess& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessChannelMode(channels);
        process.start(program, arguments);
        return process;
    }

    /// Starts Velmora and waits for its panel's window, which exists from the start.
    QProcess& startVelmora(const QString& executable = QStringLiteral(VELMORA_EXECUTABLE))
    {
        QProcess& velmora = spawn(executable, {});
        EXPECT_TRUE(waitFor([] { return panelWindow() != 0; }, std::chrono::seconds(30))) << "no panel window";
        return velmora;
    }

    /// Copies in xclip, which serves the copy until replaced, and waits until Velmora has read it: xclip
    /// numbers the requests it serves, and waits for the second once the first, Velmora's, is done.
    void copy(const QByteArray& data)
    {
        QProcess& xclip = spawn("xclip", {"-verbose", "-selection", "clipboard", "-t", "UTF8_STRING", "-i"},
                                QProcess::MergedChannels);
        xclip.write(data);
        xclip.closeWriteChannel();
        QByteArray said;
        EXPECT_TRUE(waitFor([&] { return (said += xclip.readAll()).contains("number 2"); }, std::chrono::minutes(1)));
    }

    /// Presses the hot key until the panel shows: the first presses may come before the grab.
    static void openWithHotKey()
    {
        const auto pressed = [] { return xdotool({"key", "super+shift+c"}) && waitFor(isPanelShown); };
        ASSERT_TRUE(waitFor(pressed, std::chrono::minutes(1)));
    }

    /// Its exit code once it has ended by itself; -1 if it crashed or still runs a minute later.
    static int exitCodeAtEnd(const QProcess& process)
    {
        return waitForEnd(process, std::chrono::minutes(1)) && process.exitStatus() == 0 ? process.exitCode() : -1;
    }

    std::vector<std::unique_ptr<QProcess>> m_processes;
};
