#pragma once

#include "tests/support/child_process.h"

#include <memory>
#include <string>

/// A private Xvfb server for one test program, optionally with openbox managing its windows.
/// Both processes end when the object is destroyed.
class XServer
{
public:
    enum class WindowManager
    {
        None,
        Openbox,
    };

    /// Starts Xvfb on a free display with one screen of the given size and sets DISPLAY to it; null if it
    /// cannot start.
    static std::unique_ptr<XServer> start(WindowManager windowManager, int width = 1440, int height = 900);

    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    /// ":N", for DISPLAY.
    [[nodiscard]] const std::string& display() const { return m_display; }

private:
    XServer() = default;

    // Declared in the order they start: they end in reverse.
    std::unique_ptr<ChildProcess> m_server;
    std::unique_ptr<ChildProcess> m_windowManager;
    std::string m_display;
};
