// The tests' own client of KWin's restricted protocols, which KWin offers only to a program named by the Exec of
// an installed desktop entry: wtype's virtual keyboard does not exist there, and only Plasma's own window
// list tells which window is active.
//
//   velmora_test_kwin_client keys CODE...   presses the evdev keys in order and releases them in reverse
//   velmora_test_kwin_client windows        prints "APP_ID active|inactive" for each window
//
// Exits 2 where KWin does not offer it the protocol.

#include "wayland-fake-input-client-protocol.h"
#include "wayland-plasma-window-management-client-protocol.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <wayland-client.h>

namespace {

org_kde_kwin_fake_input* fakeInput = nullptr;
org_kde_plasma_window_management* windowManagement = nullptr;

constexpr wl_registry_listener registryListener{
    [](void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
        if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
            fakeInput = static_cast<org_kde_kwin_fake_input*>(
                wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
        } else if (std::strcmp(interface, org_kde_plasma_window_management_interface.name) == 0) {
            // The first version: its events are all a window list needs, and all this client must handle.
            windowManagement = static_cast<org_kde_plasma_window_management*>(
                wl_registry_bind(registry, name, &org_kde_plasma_window_management_interface, 1));
        }
    },
    [](void*, wl_registry*, std::uint32_t) {}};

struct Window
{
    std::string appId;
    bool isActive = false;
};

// One dispatcher per object, by event name, rather than listeners that must name every event.
int dispatchWindow(const void* data, void*, std::uint32_t, const wl_message* message, wl_argument* arguments)
{
    auto* window = static_cast<Window*>(const_cast<void*>(data));
    if (std::strcmp(message->name, "app_id_changed") == 0) {
        window->appId = arguments[0].s ? arguments[0].s : "";
    } else if (std::strcmp(message->name, "state_changed") == 0) {
        window->isActive = arguments[0].u & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
    }
    return 0;
}

int dispatchManagement(const void* data, void* target, std::uint32_t, const wl_message* message, wl_argument* arguments)
{
    if (std::strcmp(message->name, "window") == 0) {
        auto& windows = *static_cast<std::map<std::uint32_t, Window>*>(const_cast<void*>(data));
        auto* window = org_kde_plasma_window_management_get_window(
            static_cast<org_kde_plasma_window_management*>(target), arguments[0].u);
        wl_proxy_add_dispatcher(reinterpret_cast<wl_proxy*>(window), dispatchWindow, &windows[arguments[0].u], nullptr);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    wl_display* display = wl_display_connect(nullptr);
    if (argc < 2 || !display) {
        std::fprintf(stderr, "usage, on a Wayland display: %s keys CODE... | windows\n", argv[0]);
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (std::strcmp(argv[1], "keys") == 0) {
        if (!fakeInput) {
            return 2;
        }
        org_kde_kwin_fake_input_authenticate(fakeInput, "Velmora tests", "typing for the tests");
        for (int index = 2; index < argc; ++index) {
            org_kde_kwin_fake_input_keyboard_key(fakeInput, std::atoi(argv[index]), 1);
        }
        for (int index = argc - 1; index >= 2; --index) {
            org_kde_kwin_fake_input_keyboard_key(fakeInput, std::atoi(argv[index]), 0);
        }
        return wl_display_roundtrip(display) < 0 ? 1 : 0;
    }
    if (!windowManagement) {
        return 2;
    }
    std::map<std::uint32_t, Window> windows;
    wl_proxy_add_dispatcher(reinterpret_cast<wl_proxy*>(windowManagement), dispatchManagement, &windows, nullptr);
    // The window list, then each window's state.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    // A window hidden since is gone from the next list.
    for (const auto& [id, window] : windows) {
        std::printf("%s %s\n", window.appId.c_str(), window.isActive ? "active" : "inactive");
    }
    return 0;
}
