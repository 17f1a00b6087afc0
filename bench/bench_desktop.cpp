#include "bench/bench_desktop.h"

#include "bench/program_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <poll.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

using namespace std::chrono_literals;

template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype([](void* reply) { std::free(reply); })>;

std::uint32_t trayOwner(xcb_connection_t* connection)
{
    const ReplyPointer<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 19, "_NET_SYSTEM_TRAY_S0"), nullptr));
    const ReplyPointer<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE}), nullptr));
    return owner ? owner->owner : xcb_window_t{XCB_WINDOW_NONE};
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
        pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
        if (!event) {
            poll(&readable, 1, 5);
        }
    }
    return false;
}

} // namespace

std::unique_ptr<BenchDesktop> BenchDesktop::start(const char* tint2rc)
{
    auto server = XServer::start(XServer::WindowManager::Openbox);
    std::unique_ptr<BenchDesktop> desktop(server ? new BenchDesktop(std::move(server), tint2rc) : nullptr);
    const auto hasTray = [&desktop] { return trayOwner(desktop->m_connection) != XCB_WINDOW_NONE; };
    if (!desktop || desktop->m_hotKey.size() != 3 || desktop->m_damageEvent == 0 || !waitUntil(hasTray, 10s, 50ms)) {
        std::fprintf(stderr, "no Xvfb with openbox, DAMAGE, a Super, Shift and C key, and a tint2 tray\n");
        return nullptr;
    }
    return desktop;
}

BenchDesktop::BenchDesktop(std::unique_ptr<XServer> server, const char* tint2rc)
    : m_server(std::move(server)), m_tray({"/usr/bin/tint2", "-c", tint2rc}),
      m_connection(xcb_connect(nullptr, nullptr))
{
    const auto* setup = xcb_get_setup(m_connection);
    const ReplyPointer<xcb_damage_query_version_reply_t> damage(
        xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr));
    if (xcb_connection_has_error(m_connection) || !damage) {
        return;
    }
    m_root = xcb_setup_roots_iterator(setup).data->root;
    m_damageEvent = xcb_get_extension_data(m_connection, &xcb_damage_id)->first_event + XCB_DAMAGE_NOTIFY;
    // The pointer in the middle of the screen, where a panel that opens under it is whole on the screen.
    xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, 720, 450, 0);
    const ReplyPointer<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        m_connection,
        xcb_get_keyboard_mapping(m_connection, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1),
        nullptr));
    const xcb_keysym_t* keysyms = map ? xcb_get_keyboard_mapping_keysyms(map.get()) : nullptr;
    const xcb_keysym_t* end = keysyms + (map ? xcb_get_keyboard_mapping_keysyms_length(map.get()) : 0);
    // Super_L, Shift_L, c.
    for (const xcb_keysym_t wanted : {0xffebu, 0xffe1u, 0x63u}) {
        if (const auto* found = std::find(keysyms, end, wanted); found != end) {
            m_hotKey.push_back(setup->min_keycode + (found - keysyms) / map->keysyms_per_keycode);
        }
    }
}

BenchDesktop::~BenchDesktop()
{
    xcb_disconnect(m_connection);
}

std::vector<std::uint32_t> BenchDesktop::dockedIcons() const
{
    // The bits of a resource id that a client does not choose tell which client made it.
    const std::uint32_t clientBits = ~xcb_get_setup(m_connection)->resource_id_mask;
    const std::uint32_t host = trayOwner(m_connection) & clientBits;
    std::vector<std::uint32_t> icons;
    // The whole tree, a level at a time so that each level costs one round trip.
    for (std::vector<std::uint32_t> level{m_root}; !level.empty();) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (const auto window : level) {
            cookies.push_back(xcb_query_tree(m_connection, window));
        }
        std::vector<std::uint32_t> next;
        for (std::size_t index = 0; index < level.size(); ++index) {
            const ReplyPointer<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(m_connection, cookies[index], nullptr));
            for (int child = 0; tree && child < xcb_query_tree_children_length(tree.get()); ++child) {
                const auto window = xcb_query_tree_children(tree.get())[child];
                next.push_back(window);
                if ((level[index] & clientBits) == host && (window & clientBits) != host && isViewable(window)) {
                    icons.push_back(window);
                }
            }
        }
        level = std::move(next);
    }
    return icons;
}

bool BenchDesktop::isViewable(std::uint32_t window) const
{
    const ReplyPointer<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::uint32_t BenchDesktop::activeWindow() const
{
    const ReplyPointer<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, 18, "_NET_ACTIVE_WINDOW"), nullptr));
    const ReplyPointer<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, m_root, atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE}, XCB_ATOM_ANY, 0, 1),
        nullptr));
    return reply && xcb_get_property_value_length(reply.get()) == 4
               ? *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()))
               : 0;
}

void BenchDesktop::pressHotKey()
{
    for (const auto type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
        for (const auto key : m_hotKey) {
            xcb_test_fake_input(m_connection, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
    }
    xcb_flush(m_connection);
}

std::optional<BenchDesktop::Clock::duration> BenchDesktop::hotKeyToPanelDrawn(Clock::duration timeout)
{
    if (m_panel == 0) {
        const auto before = activeWindow();
        pressHotKey();
        const auto isActive = [&](const xcb_generic_event_t*) {
            m_panel = activeWindow();
            return m_panel != before && m_panel != 0 && isViewable(m_panel);
        };
        if (!waitFor(m_connection, isActive, Clock::now() + timeout)) {
            m_panel = 0;
            return std::nullopt;
        }
        m_panelDamage = xcb_generate_id(m_connection);
        xcb_damage_create(m_connection, m_panelDamage, m_panel, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        if (!hotKeyToPanelHidden(timeout)) {
            return std::nullopt;
        }
    }
    // Forgets the drawing so far, and the reports of it (a round trip brings them all in).
    xcb_damage_subtract(m_connection, m_panelDamage, XCB_NONE, XCB_NONE);
    static_cast<void>(activeWindow());
    waitFor(
        m_connection, [](const xcb_generic_event_t* event) { return event == nullptr; }, Clock::now() + timeout);
    const auto pressed = Clock::now();
    pressHotKey();
    const auto isDrawn = [this](const xcb_generic_event_t* event) {
        return event && (event->response_type & 0x7f) == m_damageEvent &&
               reinterpret_cast<const xcb_damage_notify_event_t*>(event)->damage == m_panelDamage;
    };
    return waitFor(m_connection, isDrawn, pressed + timeout) ? std::optional(Clock::now() - pressed) : std::nullopt;
}

bool BenchDesktop::hotKeyToPanelHidden(Clock::duration timeout)
{
    pressHotKey();
    return waitFor(
        m_connection, [this](const xcb_generic_event_t*) { return !isViewable(m_panel); }, Clock::now() + timeout);
}
