#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

struct xcb_connection_t;

namespace platform::x11 {

struct FreeDeleter
{
    void operator()(void* pointer) const { std::free(pointer); }
};

/// Owns what xcb hands over to be freed: a reply, an event, an error.
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

/// The application's own X connection (Qt's), or null when the application does not run on X11. Owned by
/// Qt; valid while the application object lives.
[[nodiscard]] xcb_connection_t* applicationConnection();

/// The root window of the screen the application runs on; 0 without an X11 connection.
[[nodiscard]] std::uint32_t applicationRoot();

/// Ends the process with one line on stderr once the application's X connection breaks, whichever side of
/// it notices first: Qt's event loop says so in one line, but its Xlib display adds Xlib's own report.
void exitWhenTheConnectionBreaks();

} // namespace platform::x11
