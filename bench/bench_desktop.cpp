#include "bench/bench_desktop.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include <poll.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

using namespace std::chrono_literals;

struct FreeDeleter
{
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, FreeDeleter>;

std::uint32_t intern(xcb_connection_t* connection, const std::string& name)
{
    const ReplyPointer<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    return reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
}

std::uint32_t selectionOwner(xcb_connection_t* connection, const char* selection)
{
    const ReplyPointer<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, intern(connection, selection)), nullptr));
    return owner ? owner->owner : std::uint32_t{XCB_WINDOW_NONE};
}

/// Returns once the server has handled every request sent before.
void sync(xcb_connection_t* connection)
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

/// The key codes of Super_L, Shift_L and c in the server's keyboard map.
std::vector<std::uint8_t> hotKeyCodes(xcb_connection_t* connection)
{
    const auto* setup = xcb_get_setup(connection);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    const ReplyPointer<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr));
    std::vector<std::uint8_t> codes;
    for (const xcb_keysym_t wanted : {0xffebu, 0xffe1u, 0x63u}) {
        for (int index = 0; map && index < xcb_get_keyboard_mapping_keysyms_length(map.get()); ++index) {
            if (xcb_get_keyboard_mapping_keysyms(map.get())[index] == wanted) {
                codes.push_back(static_cast<std::uint8_t>(setup->min_keycode + index / map->keysyms_per_keycode));
                break;
            }
        }
    }
    return codes;
}

/// Handles the events that come until `done` holds; false once `deadline` has passed.
bool waitFor(xcb_connection_t* connection, const std::function<bool(const xcb_generic_event_t*)>& done,
             std::chrono::steady_clock::time_point deadline)
{
    while (std::chrono::steady_clock::now() < deadline && !xcb_connection_has_error(connection)) {
        const ReplyPointer<xcb_generic_event_t> event(xcb_poll_for_event(connection));
        if (done(event.get())) {
            return true;
        }
        if (!event) {
            pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
            poll(&readable, 1, 5);
        }
    }
    return false;
}

} // namespace

std::unique_ptr<BenchDesktop> BenchDesktop::start(const char* tint2rc)
{
    auto server = XServer::start(XServer::WindowManager::Openbox);
    if (!server) {
        std::fprintf(stderr, "cannot start Xvfb with openbox\n");
        return nullptr;
    }
    // Without a session bus Qt takes the XEmbed tray that tint2 hosts.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    std::unique_ptr<BenchDesktop> desktop(new BenchDesktop(std::move(server), tint2rc, connection));
    const ReplyPointer<xcb_damage_query_version_reply_t> damage(
        xcb_damage_query_version_reply(connection, xcb_damage_query_version(connection, 1, 1), nullptr));
    if (xcb_connection_has_error(connection) || !damage || desktop->m_hotKey.size() != 3) {
        std::fprintf(stderr, "no X connection with DAMAGE, or no Super, Shift or C key\n");
        return nullptr;
    }
    desktop->m_damageEvent = xcb_get_extension_data(connection, &xcb_damage_id)->first_event + XCB_DAMAGE_NOTIFY;
    for (int attempt = 0; attempt < 200 && !desktop->hasTray(); ++attempt) {
        std::this_thread::sleep_for(50ms);
    }
    if (!desktop->hasTray()) {
        std::fprintf(stderr, "no tray host\n");
        return nullptr;
    }
    return desktop;
}

BenchDesktop::BenchDesktop(std::unique_ptr<XServer> server, const char* tint2rc, xcb_connection_t* connection)
    : m_server(std::move(server)), m_tray({"/usr/bin/tint2", "-c", tint2rc}), m_connection(connection)
{
    if (xcb_connection_has_error(connection)) {
        return;
    }
    const auto* setup = xcb_get_setup(connection);
    m_root = xcb_setup_roots_iterator(setup).data->root;
    m_idMask = setup->resource_id_mask;
    m_hotKey = hotKeyCodes(connection);
}

BenchDesktop::~BenchDesktop()
{
    xcb_disconnect(m_connection);
}

bool BenchDesktop::hasTray() const
{
    return selectionOwner(m_connection, "_NET_SYSTEM_TRAY_S0") != XCB_WINDOW_NONE;
}

std::vector<std::uint32_t> BenchDesktop::dockedIcons() const
{
    const std::uint32_t hostClient = selectionOwner(m_connection, "_NET_SYSTEM_TRAY_S0") & ~m_idMask;
    const auto isHostWindow = [this, hostClient](std::uint32_t window) { return (window & ~m_idMask) == hostClient; };
    // The whole tree, a level at a time so that each level costs one round trip.
    std::vector<std::uint32_t> candidates;
    for (std::vector<std::uint32_t> level{m_root}; !level.empty();) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (const auto window : level) {
            cookies.push_back(xcb_query_tree(m_connection, window));
        }
        std::vector<std::uint32_t> next;
        for (std::size_t index = 0; index < level.size(); ++index) {
            const ReplyPointer<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(m_connection, cookies[index], nullptr));
            const xcb_window_t* children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
            for (int child = 0; tree && child < xcb_query_tree_children_length(tree.get()); ++child) {
                next.push_back(children[child]);
                if (isHostWindow(level[index]) && !isHostWindow(children[child])) {
                    candidates.push_back(children[child]);
                }
            }
        }
        level = std::move(next);
    }
    std::erase_if(candidates, [this](std::uint32_t window) { return !isViewable(window); });
    return candidates;
}

bool BenchDesktop::isViewable(std::uint32_t window) const
{
    const ReplyPointer<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::uint32_t BenchDesktop::activeWindow() const
{
    const ReplyPointer<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, m_root, intern(m_connection, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    return reply && xcb_get_property_value_length(reply.get()) == 4
               ? *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()))
               : std::uint32_t{XCB_WINDOW_NONE};
}

void BenchDesktop::movePointer(int x, int y)
{
    xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    sync(m_connection);
}

void BenchDesktop::pressHotKey()
{
    for (const auto key : m_hotKey) {
        xcb_test_fake_input(m_connection, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    for (auto key = m_hotKey.rbegin(); key != m_hotKey.rend(); ++key) {
        xcb_test_fake_input(m_connection, XCB_KEY_RELEASE, *key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    xcb_flush(m_connection);
}

std::optional<BenchDesktop::Clock::duration> BenchDesktop::hotKeyToPanelDrawn(Clock::duration timeout)
{
    if (m_panel == 0) {
        const auto before = activeWindow();
        pressHotKey();
        const bool opened = waitFor(
            m_connection,
            [&](const xcb_generic_event_t*) {
                const auto active = activeWindow();
                return active != before && active != XCB_WINDOW_NONE && isViewable(active);
            },
            Clock::now() + timeout);
        if (!opened) {
            return std::nullopt;
        }
        m_panel = activeWindow();
        m_panelDamage = xcb_generate_id(m_connection);
        xcb_damage_create(m_connection, m_panelDamage, m_panel, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        if (!hotKeyToPanelHidden(timeout)) {
            return std::nullopt;
        }
    }
    // Forgets the drawing so far: the next report is the panel's first drawing after the press.
    xcb_damage_subtract(m_connection, m_panelDamage, XCB_NONE, XCB_NONE);
    sync(m_connection);
    waitFor(
        m_connection, [](const xcb_generic_event_t* event) { return event == nullptr; }, Clock::now() + timeout);
    const auto pressed = Clock::now();
    pressHotKey();
    const bool drawn = waitFor(
        m_connection,
        [this](const xcb_generic_event_t* event) {
            return event && (event->response_type & 0x7f) == m_damageEvent &&
                   reinterpret_cast<const xcb_damage_notify_event_t*>(event)->damage == m_panelDamage;
        },
        pressed + timeout);
    return drawn ? std::optional(Clock::now() - pressed) : std::nullopt;
}

bool BenchDesktop::hotKeyToPanelHidden(Clock::duration timeout)
{
    pressHotKey();
    return waitFor(
        m_connection, [this](const xcb_generic_event_t*) { return !isViewable(m_panel); }, Clock::now() + timeout);
}
