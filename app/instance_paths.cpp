#include "app/instance_paths.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isPrivateDirectory(const QByteArray& path)
{
    struct stat status
    {
    };
    // lstat: a symbolic link planted by someone else must not be followed.
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::getuid() &&
           (status.st_mode & 077) == 0;
}

} // namespace

InstancePaths InstancePaths::forDisplay(const QString& runtimeDirectory, const QString& display)
{
    const QString stem = runtimeDirectory + QStringLiteral("/velmora-") + displayFileName(display);
    return {stem + QStringLiteral(".socket"), stem + QStringLiteral(".lock")};
}

std::optional<QString> runtimeDirectory()
{
    const QString configured = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(configured) && QFileInfo(configured).isDir()) {
        return configured;
    }
    const QString fallback = QDir::tempPath() + QStringLiteral("/velmora-") + QString::number(::getuid());
    const QByteArray encoded = QFile::encodeName(fallback);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        return std::nullopt;
    }
    // Another user may have made it first, to read or to answer our requests.
    if (!isPrivateDirectory(encoded)) {
        return std::nullopt;
    }
    return fallback;
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
