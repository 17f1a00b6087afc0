#pragma once

#include <cstdio>
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
    ~XServer();

    /// ":N", for DISPLAY.
    [[nodiscard]] const std::string& display() const { return m_display; }

private:
    XServer() = default;

    // Each process's output, and its id, which it reported first on it.
    FILE* m_server = nullptr;
    std::string m_serverId;
    FILE* m_windowManager = nullptr;
    std::string m_windowManagerId;
    std::string m_display;
};
