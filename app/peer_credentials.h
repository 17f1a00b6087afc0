#pragma once

#include <QtGlobal>

#include <optional>

#include <sys/types.h>

/// The user id of the process at the other end of a connected local socket; nothing when the system
/// does not tell.
[[nodiscard]] std::optional<uid_t> peerUserId(qintptr socketDescriptor);

/// Whether a peer may make requests: only the user who runs Velmora, never an unknown one. Root is
/// another user here too: it has no business toggling a user's panel.
[[nodiscard]] bool isPeerAllowed(std::optional<uid_t> peer, uid_t self);
