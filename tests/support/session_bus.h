#pragma once

#include "tests/support/child_process.h"

#include <memory>
#include <string>

/// A private D-Bus session bus that starts no services of its own and lets any client own any name, for the
/// stand-ins of desktop services that a test brings; it ends with the object.
class SessionBus
{
public:
    /// Starts dbus-daemon; null if it cannot start.
    static std::unique_ptr<SessionBus> start();
    ~SessionBus();

    /// What DBUS_SESSION_BUS_ADDRESS holds for a client of this bus.
    [[nodiscard]] const std::string& address() const { return m_address; }

private:
    std::string m_configFile;
    std::unique_ptr<ChildProcess> m_daemon;
    std::string m_address;
};
