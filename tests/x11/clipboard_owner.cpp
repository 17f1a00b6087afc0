// An X client that takes the CLIPBOARD and then misbehaves, for the tests of the bounded reader.
//
//   velmora_test_clipboard_owner silent           takes the selection and never answers a request
//   velmora_test_clipboard_owner targetsOnly      answers TARGETS (text and PNG), never the data
//   velmora_test_clipboard_owner garbageImage     offers image/png holding no picture, and a text
//   velmora_test_clipboard_owner diesMidTransfer  starts an incremental text transfer, sends one
//                                                 chunk and exits
//   velmora_test_clipboard_owner slowIncrement    sends its text in 8 increments, one every 0.5 s
//   velmora_test_clipboard_owner silentOnce       ignores the first request, answers the others with a text
//   velmora_test_clipboard_owner secret           offers a text marked by a password manager's hint
//
// Prints "ready" once it owns the selection, then "asked <target>" for each request it receives; exits
// when it loses the selection or is killed.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include <poll.h>

#include <xcb/xcb.h>

namespace {

xcb_connection_t* connection = nullptr;

xcb_atom_t intern(std::string_view name)
{
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.data());
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::string atomName(xcb_atom_t atom)
{
    const std::unique_ptr<xcb_get_atom_name_reply_t, decltype(&std::free)> reply(
        xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, atom), nullptr), &std::free);
    if (!reply) {
        return "?";
    }
    return {xcb_get_atom_name_name(reply.get()), static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get()))};
}

void notify(const xcb_selection_request_event_t& request, xcb_atom_t property)
{
    xcb_selection_notify_event_t event{};
    event.response_type = XCB_SELECTION_NOTIFY;
    event.time = request.time;
    event.requestor = request.requestor;
    event.selection = request.selection;
    event.target = request.target;
    event.property = property;
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

void put(const xcb_selection_request_event_t& request, xcb_atom_t type, uint8_t format, const void* data,
         std::size_t elements)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, type, format,
                        static_cast<uint32_t>(elements), data);
    notify(request, request.property);
}

// Announces 10 MB in increments, sends one chunk when the requestor takes the announcement, and exits
// when it takes the chunk.
[[noreturn]] void dieMidTransfer(const xcb_selection_request_event_t& request, xcb_atom_t incr, xcb_atom_t text)
{
    const uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &watch);
    const uint32_t announcedSize = 10 * 1024 * 1024;
    put(request, incr, 32, &announcedSize, 1);
    const std::string chunk(64 * 1024, 'x');
    for (int deletions = 0; auto* event = xcb_wait_for_event(connection); std::free(event)) {
        const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY || change->window != request.requestor ||
            change->atom != request.property || change->state != XCB_PROPERTY_DELETE) {
            continue;
        }
        if (++deletions == 2) {
            std::_Exit(0);
        }
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, text, 8,
                            static_cast<uint32_t>(chunk.size()), chunk.data());
        xcb_flush(connection);
    }
    std::_Exit(0);
}

// The text in 8 increments, each sent 0.5 s after the requestor took the one before: 4 s in all, a
// transfer that a bound on the whole read would cut, though data keeps flowing.
void sendSlowly(const xcb_selection_request_event_t& request, xcb_atom_t incr, xcb_atom_t text)
{
    const uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &watch);
    const uint32_t announcedSize = 8 * 32;
    put(request, incr, 32, &announcedSize, 1);
    for (int sent = 0; auto* event = xcb_wait_for_event(connection); std::free(event)) {
        const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY || change->window != request.requestor ||
            change->atom != request.property || change->state != XCB_PROPERTY_DELETE) {
            continue;
        }
        std::string chunk;
        if (sent < 8) {
            poll(nullptr, 0, 500);
            chunk = "slow increment " + std::to_string(++sent) + "\n";
        }
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, text, 8,
                            static_cast<uint32_t>(chunk.size()), chunk.data());
        xcb_flush(connection);
        if (chunk.empty()) {
            // Not exiting at once: the server may drop the last requests of a client that goes.
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string_view mode = argc == 2 ? argv[1] : "";
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        return 1;
    }
    const auto clipboard = intern("CLIPBOARD");
    const auto targets = intern("TARGETS");
    const auto text = intern("UTF8_STRING");
    const auto png = intern("image/png");
    const auto hint = intern("x-kde-passwordManagerHint");
    const auto window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window,
                      xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard), nullptr), &std::free);
    if (!owner || owner->owner != window) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    for (int requests = 0; auto* event = xcb_wait_for_event(connection); std::free(event)) {
        const auto type = event->response_type & ~0x80;
        if (type == XCB_SELECTION_CLEAR) {
            return 0;
        }
        const auto& request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
        if (type != XCB_SELECTION_REQUEST) {
            continue;
        }
        std::printf("asked %s\n", atomName(request.target).c_str());
        std::fflush(stdout);
        if (mode == "silent" || (mode == "silentOnce" && ++requests == 1)) {
            continue;
        }
        constexpr std::string_view garbage = "\x89PNG\r\n\x1a\n this is not really a PNG";
        constexpr std::string_view garbageText = "the text beside a broken picture";
        constexpr std::string_view answeredText = "answered when asked again";
        constexpr std::string_view secretText = "correct horse battery staple";
        if (request.target == targets && mode == "secret") {
            const xcb_atom_t offered[] = {targets, text, hint};
            put(request, XCB_ATOM_ATOM, 32, offered, std::size(offered));
        } else if (request.target == targets) {
            const xcb_atom_t offered[] = {targets, text, png};
            put(request, XCB_ATOM_ATOM, 32, offered, std::size(offered));
        } else if (mode == "secret" && request.target == text) {
            put(request, text, 8, secretText.data(), secretText.size());
        } else if (mode == "secret" && request.target == hint) {
            put(request, text, 8, "secret", 6);
        } else if (mode == "garbageImage" && request.target == png) {
            put(request, png, 8, garbage.data(), garbage.size());
        } else if (mode == "garbageImage" && request.target == text) {
            put(request, text, 8, garbageText.data(), garbageText.size());
        } else if (mode == "diesMidTransfer" && request.target == text) {
            dieMidTransfer(request, intern("INCR"), text);
        } else if (mode == "slowIncrement" && request.target == text) {
            sendSlowly(request, intern("INCR"), text);
        } else if (mode == "silentOnce" && request.target == text) {
            put(request, text, 8, answeredText.data(), answeredText.size());
        } else if (mode != "targetsOnly") {
            notify(request, XCB_ATOM_NONE);
        }
    }
    return 0;
}
