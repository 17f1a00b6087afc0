#include "bench/clipboard_owner.h"

#include <algorithm>
#include <cstdlib>

#include <poll.h>
#include <xcb/xcb.h>

namespace {

template <typename Reply> struct FreeDeleter
{
    void operator()(Reply* reply) const { std::free(reply); }
};
template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, FreeDeleter<Reply>>;

// The fixed part of a ChangeProperty request with BIG-REQUESTS.
constexpr std::size_t changePropertyHeaderBytes = 28;

} // namespace

std::unique_ptr<ClipboardOwner> ClipboardOwner::open()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int index = 0; index < screenNumber && screens.rem > 0; ++index) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<ClipboardOwner>(new ClipboardOwner(connection, screens.data->root));
}

ClipboardOwner::ClipboardOwner(xcb_connection_t* connection, std::uint32_t root)
    : m_connection(connection), m_root(root),
      // Also turns BIG-REQUESTS on, so that a screenshot fits in one property.
      m_maximumRequestBytes(std::size_t{xcb_get_maximum_request_length(connection)} * 4)
{}

ClipboardOwner::~ClipboardOwner()
{
    xcb_disconnect(m_connection);
}

std::uint32_t ClipboardOwner::atom(const std::string& name)
{
    if (const auto known = m_atoms.find(name); known != m_atoms.end()) {
        return known->second;
    }
    const ReplyPointer<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr));
    const std::uint32_t value = reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
    m_atoms[name] = value;
    m_names[value] = name;
    return value;
}

std::string ClipboardOwner::atomName(std::uint32_t value)
{
    if (const auto known = m_names.find(value); known != m_names.end()) {
        return known->second;
    }
    const ReplyPointer<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, value), nullptr));
    std::string name = reply ? std::string(xcb_get_atom_name_name(reply.get()),
                                           static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())))
                             : "atom " + std::to_string(value);
    m_names[value] = name;
    return name;
}

std::optional<ClipboardOwner::Clock::time_point> ClipboardOwner::copy(Offer offer)
{
    const std::uint32_t window = xcb_generate_id(m_connection);
    const std::uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &eventMask);
    // ICCCM wants the time of the user's action, not CurrentTime; an empty property change brings one.
    const std::uint32_t timestampProperty = atom("SIDE_BY_SIDE_TIMESTAMP");
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, window, timestampProperty, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(m_connection);

    std::optional<std::uint32_t> time;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!time && Clock::now() < deadline && !xcb_connection_has_error(m_connection)) {
        xcb_generic_event_t* event = xcb_poll_for_event(m_connection);
        if (!event) {
            pollfd readable{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            poll(&readable, 1, 10);
            continue;
        }
        const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && property->window == window) {
            time = property->time;
        } else {
            handle(event);
        }
        std::free(event);
    }
    if (!time) {
        xcb_destroy_window(m_connection, window);
        return std::nullopt;
    }

    const std::uint32_t clipboard = atom("CLIPBOARD");
    const auto started = Clock::now();
    xcb_set_selection_owner(m_connection, window, clipboard, *time);
    const ReplyPointer<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, clipboard), nullptr));
    if (!owner || owner->owner != window) {
        xcb_destroy_window(m_connection, window);
        return std::nullopt;
    }
    if (m_window != 0) {
        xcb_destroy_window(m_connection, m_window);
    }
    xcb_flush(m_connection);
    m_window = window;
    m_ownedSince = *time;
    m_offer = std::move(offer);
    m_requests.clear();
    m_lost = false;
    return started;
}

void ClipboardOwner::release()
{
    if (m_window == 0) {
        return;
    }
    xcb_set_selection_owner(m_connection, XCB_WINDOW_NONE, atom("CLIPBOARD"), XCB_CURRENT_TIME);
    xcb_destroy_window(m_connection, m_window);
    xcb_flush(m_connection);
    m_window = 0;
    m_offer = {};
}

bool ClipboardOwner::serve(std::chrono::milliseconds timeout)
{
    xcb_flush(m_connection);
    xcb_generic_event_t* event = xcb_poll_for_event(m_connection);
    if (!event && timeout.count() > 0) {
        pollfd readable{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        poll(&readable, 1, static_cast<int>(timeout.count()));
        event = xcb_poll_for_event(m_connection);
    }
    for (; event; event = xcb_poll_for_event(m_connection)) {
        handle(event);
        std::free(event);
    }
    xcb_flush(m_connection);
    return !xcb_connection_has_error(m_connection);
}

void ClipboardOwner::handle(const void* event)
{
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    switch (generic->response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
        answer(*static_cast<const xcb_selection_request_event_t*>(event));
        break;
    case XCB_SELECTION_CLEAR:
        if (static_cast<const xcb_selection_clear_event_t*>(event)->owner == m_window) {
            m_lost = true;
        }
        break;
    default:
        // Errors about requestors that went away, and events we did not ask for.
        break;
    }
}

void ClipboardOwner::answer(const xcb_selection_request_event_t& request)
{
    const auto arrived = Clock::now();
    // Clients from before ICCCM 2 leave the property empty and mean the target.
    const std::uint32_t property = request.property != XCB_ATOM_NONE ? request.property : request.target;
    const bool isOurs = request.owner == m_window && request.selection == atom("CLIPBOARD");
    bool converted = false;
    if (isOurs && request.target == atom("MULTIPLE")) {
        converted = convertMultiple(request.requestor, property);
    } else {
        converted = isOurs && convert(request.target, request.requestor, property);
    }
    // A late request for the content of an earlier copy is refused and does not count for this one.
    if (isOurs) {
        note(request.target, arrived, converted);
    }

    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = converted ? property : std::uint32_t{XCB_ATOM_NONE};
    xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
    xcb_flush(m_connection);
}

bool ClipboardOwner::convert(std::uint32_t target, std::uint32_t requestor, std::uint32_t property)
{
    if (target == atom("TARGETS")) {
        std::vector<std::uint32_t> targets{atom("TARGETS"), atom("TIMESTAMP"), atom("MULTIPLE")};
        for (const auto& name : m_offer.targets) {
            targets.push_back(atom(name));
        }
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_ATOM, 32,
                            static_cast<std::uint32_t>(targets.size()), targets.data());
        return true;
    }
    if (target == atom("TIMESTAMP")) {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_INTEGER, 32, 1,
                            &m_ownedSince);
        return true;
    }
    const std::string name = atomName(target);
    if (std::find(m_offer.targets.begin(), m_offer.targets.end(), name) == m_offer.targets.end()) {
        return false;
    }
    // Larger content would need INCR; the pictures we offer stay well below the limit of BIG-REQUESTS.
    if (m_offer.data.size() + changePropertyHeaderBytes > m_maximumRequestBytes) {
        return false;
    }
    const std::uint32_t type = name == "TEXT" ? std::uint32_t{XCB_ATOM_STRING} : target;
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, type, 8,
                        static_cast<std::uint32_t>(m_offer.data.size()), m_offer.data.data());
    return true;
}

bool ClipboardOwner::convertMultiple(std::uint32_t requestor, std::uint32_t property)
{
    const ReplyPointer<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr));
    if (!reply || reply->format != 32) {
        return false;
    }
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    std::vector<std::uint32_t> pairs(values, values + xcb_get_property_value_length(reply.get()) / 4);
    for (std::size_t index = 0; index + 1 < pairs.size(); index += 2) {
        const auto arrived = Clock::now();
        const bool converted = pairs[index] != atom("MULTIPLE") && convert(pairs[index], requestor, pairs[index + 1]);
        note(pairs[index], arrived, converted);
        if (!converted) {
            pairs[index + 1] = XCB_ATOM_NONE;
        }
    }
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, atom("ATOM_PAIR"), 32,
                        static_cast<std::uint32_t>(pairs.size()), pairs.data());
    return true;
}

void ClipboardOwner::note(std::uint32_t target, Clock::time_point arrived, bool converted)
{
    const bool isMeta = target == atom("TARGETS") || target == atom("TIMESTAMP") || target == atom("MULTIPLE");
    m_requests.push_back({arrived, atomName(target), converted && !isMeta});
}
