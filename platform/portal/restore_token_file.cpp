#include "platform/portal/restore_token_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform::portal {

namespace {

// Tokens are UUIDs or a little longer: anything larger is not one of ours.
constexpr qint64 maximumTokenSize = 1024;
constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

RestoreTokenFile RestoreTokenFile::inStateFolder(const QString& name)
{
    // A relative XDG_STATE_HOME is invalid and to be ignored.
    QString folder = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(folder)) {
        folder = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return RestoreTokenFile(folder + QStringLiteral("/velmora/") + name);
}

QString RestoreTokenFile::load() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray content = file.read(maximumTokenSize + 1);
    return content.size() > maximumTokenSize ? QString() : QString::fromUtf8(content).trimmed();
}

void RestoreTokenFile::save(const QString& token) const
{
    const QString folder = QFileInfo(m_path).path();
    if (!QDir(folder).exists() && !QDir().mkpath(folder)) {
        return;
    }
    QFile::setPermissions(folder, ownerOnly | QFileDevice::ExeOwner);
    QSaveFile file(m_path);
    // Owner-only before the token is written: the permissions go with the file when it replaces the old one.
    if (file.open(QIODevice::WriteOnly) && file.setPermissions(ownerOnly)) {
        file.write(token.toUtf8());
        static_cast<void>(file.commit());
    }
}

} // namespace platform::portal
