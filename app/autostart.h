#pragma once

#include <QString>

#include <optional>

/// The user's XDG autostart entry that starts Velmora at login:
/// $XDG_CONFIG_HOME/autostart/velmora.desktop, XDG_CONFIG_HOME defaulting to ~/.config.
[[nodiscard]] QString autostartEntryPath();

/// Whether the entry exists and the user has not hidden it.
[[nodiscard]] bool isAutostartEnabled();

/// Writes the entry so that it starts `executable`; the reason when it could not.
[[nodiscard]] std::optional<QString> enableAutostart(const QString& executable);

/// Removes the entry if there is one; the reason when it could not.
[[nodiscard]] std::optional<QString> disableAutostart();

/// `program` as one argument of a desktop entry's Exec key, quoted only where it needs to be.
[[nodiscard]] QString desktopExecArgument(const QString& program);
