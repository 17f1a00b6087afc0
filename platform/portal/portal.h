#pragma once

#include <QString>

class QDBusConnection;

/// What every call to the desktop's portals (xdg-desktop-portal, on the session bus) shares. Portals are D-Bus,
/// not Wayland: they serve any Wayland session, whichever backend Velmora runs. GUI thread only.
namespace platform::portal {

inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
// The portal service may have to start first.
constexpr int queryTimeoutMs = 5000;

/// Names the application to the portal by its desktop file name, which the portal takes only before any other
/// call on `bus`; older portals lack the call, which changes nothing then. Blocks for a few seconds at most.
void registerApplication(const QDBusConnection& bus);

/// Whether a portal on `bus` offers `interface` (e.g. "org.freedesktop.portal.GlobalShortcuts"); its version,
/// 0 where none does. Blocks for a few seconds at most.
[[nodiscard]] unsigned int version(const QDBusConnection& bus, const QString& interface);

/// The caller's unique name on `bus` as the portal writes it into the paths of its Request and Session objects.
[[nodiscard]] QString senderPathElement(const QDBusConnection& bus);

/// A fresh token for `handle_token` or `session_handle_token`: a valid element of an object path, never used
/// before in this process.
[[nodiscard]] QString freshToken();

} // namespace platform::portal
