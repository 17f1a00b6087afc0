#include "app/instance_paths.h"

#include "platform/session.h"

#include <QDir>
#include <QStandardPaths>

namespace {

// Only characters that are safe in a file name, and never a path separator.
QString safeFileName(QString name)
{
    for (QChar& c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('_')) {
            c = QLatin1Char('_');
        }
    }
    return name;
}

// host:number.screen; the screen does not make another display, and "unix" is the local host.
QString x11DisplayFileName(const QString& display)
{
    QString host = display.section(QLatin1Char(':'), 0, -2);
    const QString number = display.section(QLatin1Char(':'), -1).section(QLatin1Char('.'), 0, 0);
    if (host == QLatin1String("unix")) {
        host.clear();
    }
    const QString name = host.isEmpty() ? number : host + QLatin1Char('_') + number;
    return name.isEmpty() ? QStringLiteral("default") : safeFileName(name);
}

// A relative name is a socket in XDG_RUNTIME_DIR, so the display has two spellings there.
QString waylandDisplayFileName(const QString& display, const QString& xdgRuntimeDirectory)
{
    const QString prefix = xdgRuntimeDirectory + QLatin1Char('/');
    return safeFileName(!xdgRuntimeDirectory.isEmpty() && display.startsWith(prefix) ? display.mid(prefix.size())
                                                                                     : display);
}

} // namespace

InstancePaths InstancePaths::forSession(const QString& runtimeDirectory, const QProcessEnvironment& environment)
{
    const QString waylandDisplay = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    const QString name =
        platform::isWaylandSession(environment) && !waylandDisplay.isEmpty()
            ? waylandDisplayFileName(waylandDisplay, environment.value(QStringLiteral("XDG_RUNTIME_DIR")))
            : x11DisplayFileName(environment.value(QStringLiteral("DISPLAY")));
    const QString stem = runtimeDirectory + QStringLiteral("/velmora-") + name;
    return {stem + QStringLiteral(".socket"), stem + QStringLiteral(".lock")};
}

std::optional<QString> runtimeDirectory()
{
    // A relative XDG_RUNTIME_DIR is invalid, as good as none; Qt would take it as it stands and create it
    // in the working folder.
    if (!QDir::isAbsolutePath(qEnvironmentVariable("XDG_RUNTIME_DIR"))) {
        qunsetenv("XDG_RUNTIME_DIR");
    }
    // Qt takes only a folder of the user's own with mode 0700, else one of its own in the temporary folder,
    // created private; none when that one is not private either.
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty()) {
        return std::nullopt;
    }
    return directory;
}
