#pragma once

// What tests of the built or installed executable see of Velmora on their private desktop, asked
// from outside with xdotool, xprop, xwininfo and xclip.

#include "tests/x11/x11_test_helpers.h"

#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

/// An X window id; 0 for none.
using WindowId = std::uint32_t;

// The quit button sits at the right end of the header, the first row right under it.
constexpr QPoint quitButtonInPanel(301, 18);
constexpr QPoint firstRowInPanel(160, 52);

[[nodiscard]] bool clickAt(QPoint point, int button = 1);

[[nodiscard]] bool isViewable(WindowId window);

[[nodiscard]] QRect geometry(WindowId window);

/// Velmora's window of this _NET_WM_WINDOW_TYPE, shown or not; 0 when there is none.
[[nodiscard]] WindowId velmoraWindow(const char* type);

/// Velmora's panel window, shown or not; 0 before it exists.
[[nodiscard]] WindowId panelWindow();

[[nodiscard]] bool isPanelShown();

/// Velmora's window embedded in the tint2 tray; 0 while there is none.
[[nodiscard]] WindowId trayIcon();

/// Starts programs on the test's desktop and ends them, the last started first, when the test ends.
class DesktopTest : public ::testing::Test
{
protected:
    /// Without a session bus Qt takes the XEmbed tray that tint2 hosts.
    DesktopTest() { qunsetenv("DBUS_SESSION_BUS_ADDRESS"); }

    void TearDown() override;

    QProcess& spawn(const QString& program, const QStringList& arguments,
                    QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel);

    /// Starts tint2 and waits until this process sees its tray.
    QProcess& startTray();

    /// Starts Velmora; with a tray running, waits for its icon in it, else for its panel's window.
    QProcess& startVelmora(const QString& executable = QStringLiteral(VELMORA_EXECUTABLE));

    /// Copies in another application (xclip, which serves the copy until another one replaces it) and
    /// waits until Velmora has read the copy.
    QProcess& copy(const QByteArray& data, const QString& type = QStringLiteral("UTF8_STRING"));

    /// Presses the hot key until the panel shows: the first presses may come before the grab.
    void openWithHotKey();

    std::vector<std::unique_ptr<QProcess>> m_processes;
    bool m_trayRunning = false;
};
