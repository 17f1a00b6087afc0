#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

/// Where the running Velmora of one user in one desktop session listens, and the lock that makes deciding
/// who runs one step.
struct InstancePaths
{
    QString socket;
    QString lock;

    /// Paths in `runtimeDirectory` for the session of `environment`, named after its display: the Wayland
    /// display in a Wayland session, whichever platform Velmora runs on there, else the X display.
    [[nodiscard]] static InstancePaths forSession(const QString& runtimeDirectory,
                                                  const QProcessEnvironment& environment);
};

/// The user's runtime folder: $XDG_RUNTIME_DIR when it is absolute, the user's own and mode 0700, else
/// runtime-<user name> in the temporary folder, created with mode 0700; nothing when that one is not private
/// to the user.
[[nodiscard]] std::optional<QString> runtimeDirectory();
