#pragma once

#include "tests/support/child_process.h"
#include "tests/support/temporary_folder.h"

#include <memory>
#include <string>

/// A private headless sway (software rendering, no input devices, no bar, no XWayland) with a runtime directory
/// of its own; both go with the object. Started by root, it runs as nobody, since sway refuses root.
class SwayCompositor
{
public:
    /// Starts sway and points WAYLAND_DISPLAY (an absolute path) and SWAYSOCK of this process, and so of the
    /// programs it starts, at it; null if it does not accept clients within a generous time.
    static std::unique_ptr<SwayCompositor> start();

    /// Where sway writes what it reports, for a test that fails.
    [[nodiscard]] std::string logFile() const { return m_directory.path() + "/sway.log"; }

private:
    // Declared in the order they start: they end in reverse.
    TemporaryFolder m_directory{"velmora-sway-"};
    std::unique_ptr<ChildProcess> m_sway;
};
