#pragma once

#include <sys/types.h>

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

    /// Starts Xvfb on a free display with one screen of the given size; null if it cannot start.
    static std::unique_ptr<XServer> start(WindowManager windowManager, int width = 1440, int height = 900);

    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer();

    /// ":N", for DISPLAY.
    [[nodiscard]] const std::string& display() const { return m_display; }

private:
    XServer(pid_t server, std::string display) : m_server(server), m_display(std::move(display)) {}

    [[nodiscard]] bool startWindowManager();

    pid_t m_server;
    pid_t m_windowManager = 0;
    std::string m_display;
};
