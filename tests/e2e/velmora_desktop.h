#pragma once

// What tests of the installed or built executable see of Velmora on their private desktop, asked
// from outside with xdotool, xprop and xwininfo.

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>

/// An X window id; 0 for none.
using WindowId = std::uint32_t;

[[nodiscard]] bool xdotool(const QStringList& arguments);

[[nodiscard]] bool clickAt(QPoint point, int button = 1);

[[nodiscard]] bool isViewable(WindowId window);

[[nodiscard]] QRect geometry(WindowId window);

/// Velmora's window of this _NET_WM_WINDOW_TYPE, shown or not; 0 when there is none.
[[nodiscard]] WindowId velmoraWindow(const QString& type);

/// Velmora's panel window, shown or not; 0 before it exists.
[[nodiscard]] WindowId panelWindow();

[[nodiscard]] bool isPanelShown();

/// Velmora's window embedded in the tint2 tray; 0 while there is none.
[[nodiscard]] WindowId trayIcon();
