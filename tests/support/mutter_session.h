#pragma once

#include "tests/support/child_process.h"
#include "tests/support/session_bus.h"

#include <memory>
#include <string>

/// GNOME's compositor, headless, on a private session bus and runtime folder, with the XWayland it starts
/// at once; both end with the object. Its clients need the variables below.
class MutterSession
{
public:
    /// Starts Mutter with one 1280x800 virtual monitor; null if it cannot start.
    static std::unique_ptr<MutterSession> start();
    ~MutterSession();

    [[nodiscard]] const std::string& busAddress() const { return m_bus->address(); }
    [[nodiscard]] const std::string& runtimeDirectory() const { return m_runtimeDirectory; }
    [[nodiscard]] const std::string& waylandDisplay() const { return m_waylandDisplay; }
    /// XWayland's DISPLAY and the XAUTHORITY file its clients must present.
    [[nodiscard]] const std::string& x11Display() const { return m_x11Display; }
    [[nodiscard]] const std::string& xauthority() const { return m_xauthority; }

private:
    std::string m_runtimeDirectory;
    // Declared in the order they start: they end in reverse.
    std::unique_ptr<SessionBus> m_bus;
    std::unique_ptr<ChildProcess> m_mutter;
    std::string m_waylandDisplay;
    std::string m_x11Display;
    std::string m_xauthority;
};
