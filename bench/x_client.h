#pragma once

#include <chrono>
#include <memory>
#include <optional>

struct _XDisplay;

/// A client of its own on the benchmark's X server, acting as the user: it presses the hot key and moves
/// the pointer through XTest, and watches windows being mapped.
class XClient
{
public:
    /// Null when the display cannot be opened or has no XTest.
    [[nodiscard]] static std::unique_ptr<XClient> open();

    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;
    ~XClient();

    /// Presses and releases Super+Shift+C, as a hand on the keyboard would.
    void pressHotKey();
    void movePointer(int x, int y);
    /// Whether a tray host runs: some client owns the system tray selection.
    [[nodiscard]] bool hasSystemTray() const;
    /// Forgets what happened so far, so that the next wait sees only what comes after.
    void discardEvents();
    /// Waits up to `timeout` for a top-level window of `width` x `height` to be mapped; true when one was.
    /// With `pressEvery`, presses the hot key again at that interval while waiting.
    [[nodiscard]] bool waitForMap(int width, int height, std::chrono::milliseconds timeout,
                                  std::optional<std::chrono::milliseconds> pressEvery = std::nullopt);

private:
    explicit XClient(_XDisplay* display) : m_display(display) {}

    _XDisplay* m_display;
};
