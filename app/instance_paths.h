#pragma once

#include <QString>

#include <optional>

/// Where the running Velmora of one user on one display listens, and the lock that makes deciding
/// who runs one step.
struct InstancePaths
{
    QString socket;
    QString lock;

    /// Paths in `runtimeDirectory` for the X display named `display` (as in DISPLAY).
    [[nodiscard]] static InstancePaths forDisplay(const QString& runtimeDirectory, const QString& display);
};

/// The user's runtime folder: $XDG_RUNTIME_DIR when it is absolute, the user's own and mode 0700, else
/// runtime-<user name> in the temporary folder, created with mode 0700; nothing when that one is not private
/// to the user.
[[nodiscard]] std::optional<QString> runtimeDirectory();

/// The display's name as part of a file name: ":0", ":0.0" and "unix:0" are all "0".
[[nodiscard]] QString displayFileName(const QString& display);
