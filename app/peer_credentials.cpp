#include "app/peer_credentials.h"

#include <sys/socket.h>

std::optional<uid_t> peerUserId(qintptr socketDescriptor)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials) {
        return std::nullopt;
    }
    return credentials.uid;
}

bool isPeerAllowed(std::optional<uid_t> peer, uid_t self)
{
    return peer.has_value() && *peer == self;
}
