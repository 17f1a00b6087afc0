#include "app/instance_paths.h"

#include <QDir>
#include <QStandardPaths>

InstancePaths InstancePaths::forDisplay(const QString& runtimeDirectory, const QString& display)
{
    const QString stem = runtimeDirectory + QStringLiteral("/velmora-") + displayFileName(display);
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

QString displayFileName(const QString& display)
{
    // host:number.screen; the screen does not make another display, and "unix" is the local host.
    QString host = display.section(QLatin1Char(':'), 0, -2);
    QString number = display.section(QLatin1Char(':'), -1).section(QLatin1Char('.'), 0, 0);
    if (host == QLatin1String("unix")) {
        host.clear();
    }
    QString name = host.isEmpty() ? number : host + QLatin1Char('_') + number;
    if (name.isEmpty()) {
        return QStringLiteral("default");
    }
    // Only characters that are safe in a file name, and never a path separator.
    for (QChar& c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('_')) {
            c = QLatin1Char('_');
        }
    }
    return name;
}
