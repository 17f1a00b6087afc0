#pragma once

#include <QString>

#include <utility>

namespace platform::portal {

/// Where a portal's restore token waits for the next start: a token lets a later session start without asking
/// the user again, so only the user may read it. Each token serves once; the portal gives a new one each time.
class RestoreTokenFile
{
public:
    /// `name` in `$XDG_STATE_HOME/velmora`, by default `~/.local/state/velmora`.
    [[nodiscard]] static RestoreTokenFile inStateFolder(const QString& name);

    explicit RestoreTokenFile(QString path) : m_path(std::move(path)) {}

    /// The token kept, empty when there is none.
    [[nodiscard]] QString load() const;
    /// Replaces the token kept; nothing is kept when the folder cannot be written.
    void save(const QString& token) const;

private:
    QString m_path;
};

} // namespace platform::portal
