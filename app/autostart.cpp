#include "app/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

QString configHome()
{
    // A relative XDG_CONFIG_HOME is invalid, as good as none; Qt would take it as it stands.
    if (!QDir::isAbsolutePath(qEnvironmentVariable("XDG_CONFIG_HOME"))) {
        qunsetenv("XDG_CONFIG_HOME");
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

bool isHidden(const QByteArray& entry)
{
    for (const QByteArray& line : entry.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed == "Hidden=true" || trimmed == "X-GNOME-Autostart-enabled=false") {
            return true;
        }
    }
    return false;
}

} // namespace

QString autostartEntryPath()
{
    return configHome() + QStringLiteral("/autostart/velmora.desktop");
}

bool isAutostartEnabled()
{
    QFile entry(autostartEntryPath());
    if (!entry.open(QIODevice::ReadOnly)) {
        return false;
    }
    // A desktop entry is a few lines; a huge file is not ours and reading all of it gains nothing.
    return !isHidden(entry.read(64 * 1024));
}

std::optional<QString> enableAutostart(const QString& executable)
{
    const QString path = autostartEntryPath();
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return QStringLiteral("cannot create %1").arg(QFileInfo(path).path());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Velmora\n"
                                         "Comment=Clipboard history in the tray\n"
                                         "Exec=%1\n"
                                         "Icon=velmora\n"
                                         "Terminal=false\n")
                              .arg(desktopExecArgument(executable));
    file.write(entry.toUtf8());
    if (!file.commit()) {
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    return std::nullopt;
}

std::optional<QString> disableAutostart()
{
    QFile entry(autostartEntryPath());
    if (entry.exists() && !entry.remove()) {
        return QStringLiteral("cannot remove %1: %2").arg(entry.fileName(), entry.errorString());
    }
    return std::nullopt;
}

QString desktopExecArgument(const QString& program)
{
    const auto isPlain = [](QChar c) {
        return (c.isLetterOrNumber() && c.unicode() < 128) || QStringLiteral("/._+-,:@").contains(c);
    };
    if (!program.isEmpty() && std::all_of(program.begin(), program.end(), isPlain)) {
        return program;
    }
    // Inside double quotes these four take a backslash; a field code's % is written twice. The
    // value is then a string, whose own escapes double every backslash and spell out control characters.
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c == QLatin1Char('%') ? QStringLiteral("%%") : QString(c);
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    quoted.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    quoted.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
