#pragma once

#include <QProcessEnvironment>

namespace platform {

/// Keeps this process's memory, the history with it, out of core dumps; in an X11 session also out of other
/// processes' reach (no ptrace, no /proc/<pid>/mem, as KeePassXC does). A Wayland session's compositor and
/// portals identify their clients through /proc/<pid>/exe and /proc/<pid>/root, which that would close.
/// VELMORA_DUMPABLE=1 in `environment` leaves the process as it is, for debugging.
void keepMemoryPrivate(const QProcessEnvironment& environment);

} // namespace platform
