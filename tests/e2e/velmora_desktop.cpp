#include "tests/e2e/velmora_desktop.h"

static QStringList lines(const Finished& finished)
{
    return QString::fromLocal8Bit(finished.output).split('\n', Qt::SkipEmptyParts);
}

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
    const auto values = run("xdotool", {"getwindowgeometry", "--shell", QString::number(window)}).output.split('\n');
    const auto value = [&values](int line) { return values.value(line).split('=').value(1).toInt(); };
    return {value(1), value(2), value(3), value(4)};
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
