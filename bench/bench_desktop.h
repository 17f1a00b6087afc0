#pragma once

#include "tests/support/child_process.h"
#include "tests/support/x_server.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;

/// The desktop the whole-program benchmarks run on: a private Xvfb with openbox and a tint2 tray, and a
/// connection of the benchmark's own that plays the user and watches the screen as the user would see it.
/// Sets DISPLAY for the process and what it starts.
class BenchDesktop
{
public:
    using Clock = std::chrono::steady_clock;

    /// Null, with the reason on stderr, when any part does not come up within a few seconds.
    [[nodiscard]] static std::unique_ptr<BenchDesktop> start(const char* tint2rc);

    ~BenchDesktop();

    /// Viewable windows of other clients whose parent is a window of the tray host: the docked icons.
    [[nodiscard]] std::vector<std::uint32_t> dockedIcons() const;
    /// Presses Super+Shift+C and waits for the window it opens to be drawn (a DAMAGE report): the time from the
    /// press, or nothing within `timeout`. The window that the first press activates is taken for the panel;
    /// that first opening sets the watch up and is not timed.
    [[nodiscard]] std::optional<Clock::duration> hotKeyToPanelDrawn(Clock::duration timeout);
    /// Presses Super+Shift+C and waits for the panel to be hidden; false if it is still shown after `timeout`.
    [[nodiscard]] bool hotKeyToPanelHidden(Clock::duration timeout);

private:
    BenchDesktop(std::unique_ptr<XServer> server, const char* tint2rc);

    void pressHotKey();
    [[nodiscard]] std::uint32_t activeWindow() const;
    [[nodiscard]] bool isViewable(std::uint32_t window) const;

    // Declared in the order they start; they end in reverse.
    std::unique_ptr<XServer> m_server;
    ChildProcess m_tray;
    xcb_connection_t* m_connection;
    std::uint32_t m_root = 0;
    std::vector<std::uint8_t> m_hotKey;
    std::uint8_t m_damageEvent = 0;
    std::uint32_t m_panel = 0;
    /// Reports the panel's first drawing after it was last emptied.
    std::uint32_t m_panelDamage = 0;
};
