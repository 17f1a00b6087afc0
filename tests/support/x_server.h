#pragma once

#include "tests/support/child_process.h"

#include <memory>

/// A private Xvfb server, optionally with openbox managing its windows; both end with the object.
class XServer
{
public:
    enum class WindowManager
    {
        None,
        Openbox
    };

    /// Starts Xvfb (1440x900) on a free display and sets DISPLAY to it; null if it or openbox cannot start.
    static std::unique_ptr<XServer> start(WindowManager windowManager);

private:
    // Declared in the order they start: they end in reverse.
    std::unique_ptr<ChildProcess> m_server;
    std::unique_ptr<ChildProcess> m_windowManager;
};
