#pragma once

#include "tests/support/child_process.h"
#include "tests/support/temporary_folder.h"

#include <memory>
#include <string>

/// A private D-Bus session bus that lets any client own any name, for the stand-ins of desktop services that a
/// test brings, or for the real ones; it ends with the object.
class SessionBus
{
public:
    enum class Services
    {
        /// A name nobody owns stays unowned, as the desktop service under test may be absent.
        None,
        /// The system's session services start on demand, with the environment of this process.
        Installed,
    };

    /// Starts dbus-daemon; null if it cannot start.
    static std::unique_ptr<SessionBus> start(Services services = Services::None);

    /// What DBUS_SESSION_BUS_ADDRESS holds for a client of this bus.
    [[nodiscard]] const std::string& address() const { return m_address; }

private:
    TemporaryFolder m_folder{"velmora-test-bus-"};
    std::unique_ptr<ChildProcess> m_daemon;
    std::string m_address;
};
