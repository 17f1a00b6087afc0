#include "bench/tray_host.h"

#include <cstdlib>
#include <string>

#include <xcb/xcb.h>

namespace {

template <typename Reply> struct FreeDeleter
{
    void operator()(Reply* reply) const { std::free(reply); }
};
template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, FreeDeleter<Reply>>;

struct WindowAndParent
{
    std::uint32_t window;
    std::uint32_t parent;
};

} // namespace

std::unique_ptr<TrayHost> TrayHost::open()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection);
    auto screens = xcb_setup_roots_iterator(setup);
    for (int index = 0; index < screenNumber && screens.rem > 0; ++index) {
        xcb_screen_next(&screens);
    }
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber);
    const ReplyPointer<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    if (!atom || screens.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<TrayHost>(new TrayHost(connection, screens.data->root, setup->resource_id_mask, atom->atom));
}

TrayHost::~TrayHost()
{
    xcb_disconnect(m_connection);
}

std::uint32_t TrayHost::trayOwner() const
{
    const ReplyPointer<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_trayAtom), nullptr));
    return owner ? owner->owner : std::uint32_t{XCB_WINDOW_NONE};
}

bool TrayHost::isRunning() const
{
    return trayOwner() != XCB_WINDOW_NONE;
}

std::vector<std::uint32_t> TrayHost::dockedIcons()
{
    const std::uint32_t owner = trayOwner();
    if (owner == XCB_WINDOW_NONE) {
        m_hostTops.clear();
        return {};
    }
    const std::uint32_t hostClient = owner & ~m_idMask;
    const auto isHostWindow = [this, hostClient](std::uint32_t window) { return (window & ~m_idMask) == hostClient; };

    if (owner != m_hostOwner || m_hostTops.empty()) {
        // The host's outermost windows: its own windows whose parent is not its own (the root, or a frame).
        m_hostOwner = owner;
        m_hostTops.clear();
        std::vector<WindowAndParent> level{{m_root, XCB_WINDOW_NONE}};
        while (!level.empty()) {
            std::vector<WindowAndParent> next;
            for (const auto [window, parent] : level) {
                if (isHostWindow(window) && !isHostWindow(parent)) {
                    m_hostTops.push_back(window);
                    continue;
                }
                const ReplyPointer<xcb_query_tree_reply_t> tree(
                    xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
                if (!tree) {
                    continue;
                }
                const xcb_window_t* children = xcb_query_tree_children(tree.get());
                for (int index = 0; index < xcb_query_tree_children_length(tree.get()); ++index) {
                    next.push_back({children[index], window});
                }
            }
            level = std::move(next);
        }
    }

    // Docked: a window of another client whose parent is one of the host's; it shows once it is viewable.
    std::vector<std::uint32_t> candidates;
    std::vector<std::uint32_t> level = m_hostTops;
    while (!level.empty()) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (const auto window : level) {
            cookies.push_back(xcb_query_tree(m_connection, window));
        }
        std::vector<std::uint32_t> next;
        for (const auto cookie : cookies) {
            const ReplyPointer<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_connection, cookie, nullptr));
            if (!tree) {
                continue;
            }
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            for (int index = 0; index < xcb_query_tree_children_length(tree.get()); ++index) {
                (isHostWindow(children[index]) ? next : candidates).push_back(children[index]);
            }
        }
        level = std::move(next);
    }
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (const auto window : candidates) {
        cookies.push_back(xcb_get_window_attributes(m_connection, window));
    }
    std::vector<std::uint32_t> icons;
    for (std::size_t index = 0; index < candidates.size(); ++index) {
        const ReplyPointer<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(m_connection, cookies[index], nullptr));
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            icons.push_back(candidates[index]);
        }
    }
    return icons;
}
