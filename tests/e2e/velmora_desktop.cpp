#include "tests/e2e/velmora_desktop.h"

#include "tests/x11/x11_test_helpers.h"

#include <QMap>

bool xdotool(const QStringList& arguments)
{
    return run(QStringLiteral("xdotool"), arguments).has_value();
}

bool clickAt(QPoint point, int button)
{
    return xdotool(
        {"mousemove", QString::number(point.x()), QString::number(point.y()), "click", QString::number(button)});
}

bool isViewable(WindowId window)
{
    // Without a window xwininfo would wait for the user to pick one.
    return window != 0 && run(QStringLiteral("xwininfo"), {"-id", QString::number(window)})
                              .value_or(QString())
                              .contains(QLatin1String("IsViewable"));
}

QRect geometry(WindowId window)
{
    // Lines of NAME=value: WINDOW, X, Y, WIDTH, HEIGHT, SCREEN.
    const auto shell = run(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", QString::number(window)});
    QMap<QString, int> values;
    for (const auto& line : shell.value_or(QString()).split('\n')) {
        values[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    }
    return {values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

WindowId velmoraWindow(const QString& type)
{
    const auto windows = run(QStringLiteral("xdotool"), {"search", "--class", "^Velmora$"});
    for (const auto& window : windows.value_or(QString()).split('\n', Qt::SkipEmptyParts)) {
        if (run(QStringLiteral("xprop"), {"-id", window, "_NET_WM_WINDOW_TYPE"}).value_or(QString()).contains(type)) {
            return window.toUInt();
        }
    }
    return 0;
}

WindowId panelWindow()
{
    return velmoraWindow(QStringLiteral("_NET_WM_WINDOW_TYPE_UTILITY"));
}

bool isPanelShown()
{
    return isViewable(panelWindow());
}

WindowId trayIcon()
{
    const auto hosts = run(QStringLiteral("xdotool"), {"search", "--class", "^tint2$"});
    for (const auto& host : hosts.value_or(QString()).split('\n', Qt::SkipEmptyParts)) {
        const auto tree = run(QStringLiteral("xwininfo"), {"-tree", "-id", host});
        for (const auto& line : tree.value_or(QString()).split('\n')) {
            if (line.contains(QLatin1String("\"Velmora\")"))) {
                return line.trimmed().section(' ', 0, 0).toUInt(nullptr, 16);
            }
        }
    }
    return 0;
}
