// An X client that takes the CLIPBOARD and then misbehaves, for the tests of the bounded reader.
//
//   velmora_test_clipboard_owner silent          takes the selection and never answers a request
//   velmora_test_clipboard_owner targets-only    answers TARGETS (text and PNG), never the data
//   velmora_test_clipboard_owner garbage-image   offers image/png holding no picture, and a text
//   velmora_test_clipboard_owner dies-mid-transfer
//                                                 starts an incremental text transfer, sends one
//                                                 chunk and exits
//
// Prints "ready" once it owns the selection; exits when it loses it or is killed.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xproto.h>

namespace {

enum class Mode
{
    Silent,
    TargetsOnly,
    GarbageImage,
    DiesMidTransfer,
};

constexpr std::string_view garbageText = "the text beside a broken picture";
constexpr std::string_view garbageBytes = "\x89PNG\r\n\x1a\n this is not really a PNG";

struct Atoms
{
    xcb_atom_t clipboard;
    xcb_atom_t targets;
    xcb_atom_t utf8String;
    xcb_atom_t png;
    xcb_atom_t incr;
};

xcb_atom_t intern(xcb_connection_t* connection, std::string_view name)
{
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.data());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void notify(xcb_connection_t* connection, const xcb_selection_request_event_t& request, xcb_atom_t property)
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

void put(xcb_connection_t* connection, const xcb_selection_request_event_t& request, xcb_atom_t type,
         uint8_t format, const void* data, uint32_t elements)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, type, format,
                        elements, data);
    notify(connection, request, request.property);
}

// Starts an INCR transfer, sends one chunk when asked, and exits when asked for the next.
[[noreturn]] void dieMidTransfer(xcb_connection_t* connection, const xcb_selection_request_event_t& request,
                                 const Atoms& atoms)
{
    const uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &watch);
    const uint32_t announcedSize = 10 * 1024 * 1024;
    put(connection, request, atoms.incr, 32, &announcedSize, 1);
    int deletions = 0;
    while (auto* event = xcb_wait_for_event(connection)) {
        const auto type = event->response_type & ~0x80;
        if (type == XCB_PROPERTY_NOTIFY) {
            const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (change->window == request.requestor && change->atom == request.property
                && change->state == XCB_PROPERTY_DELETE) {
                if (++deletions == 2) {
                    std::_Exit(0);
                }
                const std::string chunk(64 * 1024, 'x');
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                                    atoms.utf8String, 8, static_cast<uint32_t>(chunk.size()), chunk.data());
                xcb_flush(connection);
            }
        }
        std::free(event);
    }
    std::_Exit(0);
}

void answer(xcb_connection_t* connection, const xcb_selection_request_event_t& request, Mode mode,
            const Atoms& atoms)
{
    if (mode == Mode::Silent) {
        return;
    }
    if (request.target == atoms.targets) {
        std::vector<xcb_atom_t> offered{atoms.targets, atoms.utf8String};
        if (mode != Mode::DiesMidTransfer) {
            offered.push_back(atoms.png);
        }
        put(connection, request, XCB_ATOM_ATOM, 32, offered.data(), static_cast<uint32_t>(offered.size()));
        return;
    }
    switch (mode) {
    case Mode::Silent:
    case Mode::TargetsOnly:
        return;
    case Mode::GarbageImage:
        if (request.target == atoms.png) {
            put(connection, request, atoms.png, 8, garbageBytes.data(), static_cast<uint32_t>(garbageBytes.size()));
        } else if (request.target == atoms.utf8String) {
            put(connection, request, atoms.utf8String, 8, garbageText.data(), static_cast<uint32_t>(garbageText.size()));
        } else {
            notify(connection, request, XCB_ATOM_NONE);
        }
        return;
    case Mode::DiesMidTransfer:
        if (request.target == atoms.utf8String) {
            dieMidTransfer(connection, request, atoms);
        }
        notify(connection, request, XCB_ATOM_NONE);
        return;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s silent|targets-only|garbage-image|dies-mid-transfer\n", argv[0]);
        return 2;
    }
    const std::string_view name = argv[1];
    Mode mode;
    if (name == "silent") {
        mode = Mode::Silent;
    } else if (name == "targets-only") {
        mode = Mode::TargetsOnly;
    } else if (name == "garbage-image") {
        mode = Mode::GarbageImage;
    } else if (name == "dies-mid-transfer") {
        mode = Mode::DiesMidTransfer;
    } else {
        std::fprintf(stderr, "unknown mode %s\n", argv[1]);
        return 2;
    }

    int screenNumber = 0;
    auto* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "cannot connect to the X server\n");
        return 1;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int index = 0; index < screenNumber; ++index) {
        xcb_screen_next(&screens);
    }
    const Atoms atoms{intern(connection, "CLIPBOARD"), intern(connection, "TARGETS"),
                      intern(connection, "UTF8_STRING"), intern(connection, "image/png"), intern(connection, "INCR")};

    const auto window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(connection, window, atoms.clipboard, XCB_CURRENT_TIME);
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atoms.clipboard), nullptr),
        &std::free);
    if (!owner || owner->owner != window) {
        std::fprintf(stderr, "cannot own the clipboard\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    while (auto* event = xcb_wait_for_event(connection)) {
        const auto type = event->response_type & ~0x80;
        if (type == XCB_SELECTION_CLEAR) {
            return 0;
        }
        if (type == XCB_SELECTION_REQUEST) {
            answer(connection, *reinterpret_cast<xcb_selection_request_event_t*>(event), mode, atoms);
        }
        std::free(event);
    }
    return 0;
}
