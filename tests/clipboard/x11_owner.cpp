// The tests' X11 clipboard owner: an X client that takes the CLIPBOARD and misbehaves by a plan; its
// command line and what it prints are in tests/clipboard/owner_plan.h.

#include "tests/clipboard/owner_plan.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <poll.h>

#include <xcb/xcb.h>

namespace {

xcb_connection_t* connection = nullptr;

xcb_atom_t intern(std::string_view name)
{
    auto* reply = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.data()), nullptr);
    const auto atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

std::string atomName(xcb_atom_t atom)
{
    auto* reply = xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, atom), nullptr);
    const auto name = reply ? std::string(xcb_get_atom_name_name(reply), xcb_get_atom_name_name_length(reply)) : "?";
    std::free(reply);
    return name;
}

void notify(const xcb_selection_request_event_t& request, xcb_atom_t property)
{
    const xcb_selection_notify_event_t event{
        XCB_SELECTION_NOTIFY, 0, 0, request.time, request.requestor, request.selection, request.target, property};
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

// replace takes the selection with a second window; the first goes on with a transfer under way.
constexpr std::string_view missteps[] = {"none",      "skip",  "silent",         "die",     "refuse",
                                         "wrongType", "empty", "deleteProperty", "replace", "wrongFormat"};

/// What the owner offers, how it errs, and the state of its one transfer.
struct Owner
{
    // Each target's bytes, TARGETS' included: of the first window, and of the second when it offers others.
    std::map<xcb_atom_t, std::string> payloads;
    std::map<xcb_atom_t, std::string> replacement;
    xcb_atom_t targets = intern("TARGETS");
    xcb_atom_t clipboard = intern("CLIPBOARD");
    xcb_window_t first = 0;
    xcb_window_t second = 0;
    std::mt19937_64 random;
    // Its step counts down the requests and chunks asked for to the one that goes wrong; its chunk is the
    // smallest increment, 0 sending the data whole.
    OwnerPlan plan;
    // All in one chunk announces 1 byte: the size is only a lower bound.
    int largestChunk = 0;
    bool silent = false;
    bool lost = false;
    xcb_selection_request_event_t transfer{};
    std::size_t sent = 0;
    long long takenAt = 0;

    xcb_window_t takeClipboard()
    {
        const auto window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window,
                          xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        takenAt = monotonicNanoseconds();
        xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
        xcb_flush(connection);
        return window;
    }

    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

    void drawPlan()
    {
        const auto payloadSize = static_cast<int>(plan.forms.front().second.size());
        plan.misstep = missteps[std::discrete_distribution<int>({35, 6, 8, 8, 5, 8, 6, 8, 8, 8})(random)];
        // An empty chunk after the first would end the transfer early with data that looks whole.
        plan.step = uniform(0, plan.misstep == "empty" ? 2 : 4);
        // Whole, tiny, ordinary or all at once. Thousands of round trips test the machine's speed, not patience.
        const std::pair<int, int> sizes[] = {
            {0, 0}, {1, payloadSize <= 4096 ? 16 : 65536}, {4096, 65536}, {payloadSize, payloadSize}};
        std::tie(plan.chunk, largestChunk) = sizes[std::discrete_distribution<int>({35, 15, 35, 15})(random)];
    }

    void run()
    {
        for (auto* event = xcb_wait_for_event(connection); event;
             std::free(event), event = xcb_wait_for_event(connection)) {
            const auto type = event->response_type & ~0x80;
            const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
            const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
            // A transfer under way goes on after the clipboard is lost, as in applications.
            lost = lost || (type == XCB_SELECTION_CLEAR &&
                            (second == 0 || reinterpret_cast<xcb_selection_clear_event_t*>(event)->owner == second));
            if (type == XCB_SELECTION_REQUEST) {
                const auto arrived = monotonicNanoseconds();
                std::printf("asked %s %lld\n", atomName(request->target).c_str(), arrived);
                takeStep([&](std::string_view now) { answer(*request, now); }, true);
            } else if (type == XCB_PROPERTY_NOTIFY && change->window == transfer.requestor &&
                       change->atom == transfer.property && change->state == XCB_PROPERTY_DELETE) {
                takeStep([&](std::string_view now) { sendChunk(now); }, false);
            }
            if (lost && transfer.requestor == 0) {
                return;
            }
        }
    }

    void takeStep(const auto& action, bool isRequest)
    {
        const auto drawn = plan.step-- == 0 ? std::string_view(plan.misstep) : "none";
        if (silent) {
            return;
        }
        // A request that came before another client took the selection must not take it back or write to the
        // requestor during that client's transfer. The server is held from the look to the taking back, so that
        // no copy can come in between and be undone.
        xcb_grab_server(connection);
        auto* reply =
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard), nullptr);
        const bool owns = reply && (reply->owner == first || reply->owner == second);
        std::free(reply);
        if (!owns && isRequest) {
            std::_Exit(0);
        }
        // A transfer that outlives the clipboard goes on plainly: taking the clipboard back, above all, would
        // undo another application's copy.
        const auto now = owns ? drawn : std::string_view("none");
        if (now != "none") {
            std::printf("misstep %s\n", std::string(now).c_str());
        }
        second = now == "replace" ? takeClipboard() : second;
        xcb_ungrab_server(connection);
        xcb_flush(connection);
        if (now == "die") {
            poll(nullptr, 0, uniform(0, 300));
            std::_Exit(0);
        }
        if (now != "silent" && now != "skip") {
            action(now);
        }
        silent = now == "silent" || now == "deleteProperty";
    }

    // Not copied: a copy of a large content would keep a busy machine's reader waiting.
    void put(const xcb_selection_request_event_t& request, xcb_atom_t type, std::string_view bytes, int format,
             std::string_view now)
    {
        type = now == "wrongType" ? xcb_atom_t{XCB_ATOM_INTEGER} : type;
        format = now == "wrongType" ? 32 : now == "wrongFormat" ? 40 - format : format;
        // Whole elements only: a wrong format drops the bytes of a last partial one.
        bytes = bytes.substr(0, now == "empty" ? 0 : bytes.size() / (format / 8) * (format / 8));
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, type, format,
                            bytes.size() / (format / 8), bytes.data());
        if (now == "deleteProperty") {
            xcb_delete_property(connection, request.requestor, request.property);
        }
        xcb_flush(connection);
    }

    void answer(const xcb_selection_request_event_t& request, std::string_view now)
    {
        const auto& offered = request.owner == second && !plan.replacement.empty() ? replacement : payloads;
        const auto payload = offered.find(request.target);
        if (now == "refuse" || now == "replace" || payload == offered.end()) {
            return notify(request, XCB_ATOM_NONE);
        }
        if (request.target == targets) {
            put(request, XCB_ATOM_ATOM, payload->second, 32, now);
        } else if (largestChunk == 0) {
            put(request, request.target, payload->second, 8, now);
        } else {
            // Each deletion of the property by the requestor asks for the next chunk; an empty one ends.
            const uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &watch);
            const uint32_t announced =
                plan.chunk >= static_cast<int>(payload->second.size()) ? 1 : payload->second.size();
            put(request, intern("INCR"), {reinterpret_cast<const char*>(&announced), 4}, 32, now);
            // A spoiled announcement starts nothing: no stray chunk may land in the requestor's next transfer.
            transfer = now == "none" ? request : xcb_selection_request_event_t{};
            sent = 0;
        }
        notify(request, request.property);
    }

    void sendChunk(std::string_view now)
    {
        const auto& offered = transfer.owner == second && !plan.replacement.empty() ? replacement : payloads;
        const auto chunk = offered.at(transfer.target).substr(sent, uniform(plan.chunk, largestChunk));
        poll(nullptr, 0, chunk.empty() ? 0 : plan.pause);
        put(transfer, transfer.target, chunk, 8, now);
        sent += chunk.size();
        transfer = chunk.empty() ? xcb_selection_request_event_t{} : transfer;
    }
};

/// The bytes of each form, with the list of them as TARGETS.
std::map<xcb_atom_t, std::string> payloadsOf(OwnerPlan::Forms& forms, xcb_atom_t targets)
{
    std::vector<xcb_atom_t> offered{targets};
    std::map<xcb_atom_t, std::string> payloads;
    for (auto& [form, bytes] : forms) {
        offered.push_back(intern(form));
        payloads[offered.back()] = std::move(bytes);
    }
    payloads[targets] = {reinterpret_cast<const char*>(offered.data()), offered.size() * 4};
    return payloads;
}

} // namespace

int main(int argc, char** argv)
{
    connection = xcb_connect(nullptr, nullptr);
    auto plan = OwnerPlan::parse(argc, argv, missteps);
    if (!plan || xcb_connection_has_error(connection)) {
        return 1;
    }
    Owner owner;
    owner.plan = std::move(*plan);
    owner.largestChunk = owner.plan.chunk;
    if (owner.plan.seed) {
        owner.random.seed(*owner.plan.seed);
        owner.drawPlan();
    }
    owner.payloads = payloadsOf(owner.plan.forms, owner.targets);
    owner.replacement = payloadsOf(owner.plan.replacement, owner.targets);
    owner.first = owner.takeClipboard();
    // A round trip: once it returns, the server has made us the owner.
    intern("CLIPBOARD");
    std::printf("ready %lld\n", owner.takenAt);
    owner.run();
    return 0;
}
