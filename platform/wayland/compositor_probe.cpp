#include "platform/session.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include <poll.h>
#include <wayland-client.h>

namespace platform {

namespace {

// A compositor that accepts the connection but never answers must not keep Velmora from starting.
constexpr auto probeTimeout = std::chrono::seconds(5);

/// Silences libwayland's own report of a failed connection, which the choice gives in its own line, and
/// gives back libwayland's default, printing, for Qt's connection.
class QuietWaylandLog
{
public:
    QuietWaylandLog()
    {
        wl_log_set_handler_client([](const char*, va_list) {});
    }
    ~QuietWaylandLog()
    {
        wl_log_set_handler_client(
            [](const char* format, va_list arguments) { std::vfprintf(stderr, format, arguments); });
    }
    QuietWaylandLog(const QuietWaylandLog&) = delete;
    QuietWaylandLog& operator=(const QuietWaylandLog&) = delete;
};

/// What the registry announced, filled in by its listener.
struct Globals
{
    bool hasDataControl = false;
    bool isComplete = false;
};

void announceGlobal(void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t)
{
    // Either protocol, at any version, carries the clipboard; only the primary selection needs wlr's second.
    if (std::strcmp(interface, "ext_data_control_manager_v1") == 0 ||
        std::strcmp(interface, "zwlr_data_control_manager_v1") == 0) {
        static_cast<Globals*>(data)->hasDataControl = true;
    }
}

constexpr wl_registry_listener registryListener{announceGlobal, [](void*, wl_registry*, std::uint32_t) {}};

constexpr wl_callback_listener syncListener{
    [](void* data, wl_callback*, std::uint32_t) { static_cast<Globals*>(data)->isComplete = true; }};

/// Dispatches events until the registry has announced every global or the deadline passes.
bool readGlobals(wl_display* display, Globals& globals)
{
    const auto deadline = std::chrono::steady_clock::now() + probeTimeout;
    while (!globals.isComplete) {
        if (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                return false;
            }
            continue;
        }
        wl_display_flush(display);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd descriptor{wl_display_get_fd(display), POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&descriptor, 1, static_cast<int>(left.count())) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(display);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
            return false;
        }
    }
    return true;
}

} // namespace

WaylandCompositor probeWaylandCompositor()
{
    const QuietWaylandLog quiet;
    const std::unique_ptr<wl_display, decltype(&wl_display_disconnect)> display(wl_display_connect(nullptr),
                                                                                &wl_display_disconnect);
    if (!display) {
        return WaylandCompositor::Unreachable;
    }
    Globals globals;
    const std::unique_ptr<wl_registry, decltype(&wl_registry_destroy)> registry(wl_display_get_registry(display.get()),
                                                                                &wl_registry_destroy);
    wl_registry_add_listener(registry.get(), &registryListener, &globals);
    // The compositor answers the sync after it has announced every global.
    const std::unique_ptr<wl_callback, decltype(&wl_callback_destroy)> sync(wl_display_sync(display.get()),
                                                                            &wl_callback_destroy);
    wl_callback_add_listener(sync.get(), &syncListener, &globals);
    if (!readGlobals(display.get(), globals)) {
        return WaylandCompositor::Unreachable;
    }
    return globals.hasDataControl ? WaylandCompositor::OffersDataControl : WaylandCompositor::LacksDataControl;
}

} // namespace platform
