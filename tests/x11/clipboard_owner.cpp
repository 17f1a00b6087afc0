// An X client that takes the CLIPBOARD, offers the bytes of each FILE as its TARGET, and misbehaves as
// MODE says, for the tests of the bounded reader:
//
//   velmora_test_clipboard_owner MODE TARGET FILE [TARGET FILE ...]
//
//   wellBehaved      answers every request in full
//   silent           never answers
//   silentOnce       ignores the first request, answers the others
//   targetsOnly      answers TARGETS, then falls silent when asked for the data
//   diesMidTransfer  starts an incremental transfer, sends one chunk of 64 KB and exits
//   slowIncrement    sends increments of 32 bytes, each 0.5 s after the requestor took the one before
//   random:SEED      misbehaves at random, or not, as SEED decides: target lists empty, of hundreds, of
//                    unknown atoms or of the wrong format; data of the wrong type, never written or deleted;
//                    increments empty, tiny or oversized; silence, death or a new owner mid-transfer
//
// Each fixed mode is one plan of the random owner. Prints "plan wellBehaved" or "plan hostile", then
// "ready" once it owns the selection, then "asked <target>" for each request; exits when it loses the
// selection or is killed.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <poll.h>

#include <xcb/xcb.h>

namespace {

xcb_connection_t* connection = nullptr;

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t intern(std::string_view name)
{
    const Owned<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.data()), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::string atomName(xcb_atom_t atom)
{
    const Owned<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, atom), nullptr), &std::free);
    return reply ? std::string(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get())) : "?";
}

xcb_window_t takeClipboard()
{
    const auto window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window,
                      xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(connection, window, intern("CLIPBOARD"), XCB_CURRENT_TIME);
    return window;
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

void write(const xcb_selection_request_event_t& request, xcb_atom_t type, std::string_view bytes, uint8_t format = 8)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, type, format,
                        bytes.size() / (format / 8), bytes.data());
    xcb_flush(connection);
}

enum class TargetsPlan
{
    Correct,
    Empty,
    Hundreds,
    UnknownAtoms,
    WrongFormat,
    Refuse,
    Silent,
    Dies
};
enum class DataPlan
{
    Whole,
    Increments,
    WrongType,
    NeverWritten,
    DeletedBeforeNotify,
    Refuse,
    Silent,
    Dies
};
enum class Fault
{
    None,
    Stops,
    Dies,
    DeletesAChunk,
    ChangesOwner,
    WrongFormat
};

/// How the owner answers. Whatever it delivers in full is exactly the payload, so that a reader that glues
/// or cuts transfers shows.
struct Plan
{
    TargetsPlan targets = TargetsPlan::Correct;
    DataPlan data = DataPlan::Whole;
    int ignoredRequests = 0;
    // Increments: each between these sizes; none ends the transfer at once; oversized announces 1 byte.
    int smallestChunk = 65536;
    int largestChunk = 65536;
    bool oversized = false;
    Fault fault = Fault::None;
    int faultAt = 0;
    int pause = 0;
    // Falling silent: for good, or by exiting this much later, as a crashed client does.
    bool staysSilent = true;
    int exitDelay = 0;

    [[nodiscard]] bool isWellBehaved() const
    {
        const bool offers =
            targets == TargetsPlan::Correct || targets == TargetsPlan::Hundreds || targets == TargetsPlan::UnknownAtoms;
        return offers && ignoredRequests == 0 &&
               (data == DataPlan::Whole || (data == DataPlan::Increments && fault == Fault::None && largestChunk > 0));
    }
};

class Owner
{
public:
    Owner(Plan plan, std::map<xcb_atom_t, std::string> payloads, std::uint64_t seed, xcb_window_t window)
        : m_plan(plan), m_payloads(std::move(payloads)), m_random(seed), m_window(window)
    {}

    /// Serves requests until the selection is lost; may exit on its own.
    void run()
    {
        const auto targets = intern("TARGETS");
        for (int requests = 0; auto* event = xcb_wait_for_event(connection); std::free(event)) {
            const auto type = event->response_type & ~0x80;
            if (type == XCB_SELECTION_CLEAR) {
                return;
            }
            if (type != XCB_SELECTION_REQUEST) {
                continue;
            }
            const auto& request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
            std::printf("asked %s\n", atomName(request.target).c_str());
            std::fflush(stdout);
            const auto payload = m_payloads.find(request.target);
            if (requests++ < m_plan.ignoredRequests) {
                continue;
            }
            if (request.owner != m_window) {
                // The window that took over mid-transfer has nothing to give.
                notify(request, XCB_ATOM_NONE);
            } else if (request.target == targets) {
                answerTargets(request, targets);
            } else if (payload != m_payloads.end()) {
                answerData(request, payload->second);
            } else {
                notify(request, XCB_ATOM_NONE);
            }
        }
    }

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    [[noreturn]] void fallSilent()
    {
        if (!m_plan.staysSilent) {
            poll(nullptr, 0, m_plan.exitDelay);
            std::_Exit(0);
        }
        for (auto* event = xcb_wait_for_event(connection); event; event = xcb_wait_for_event(connection)) {
            if ((event->response_type & ~0x80) == XCB_SELECTION_CLEAR) {
                std::_Exit(0);
            }
            std::free(event);
        }
        std::_Exit(0);
    }

    void answerTargets(const xcb_selection_request_event_t& request, xcb_atom_t targets)
    {
        std::vector<xcb_atom_t> offered{targets};
        for (const auto& [target, bytes] : m_payloads) {
            offered.push_back(target);
        }
        switch (m_plan.targets) {
        case TargetsPlan::Correct:
            break;
        case TargetsPlan::Empty:
            offered.clear();
            break;
        case TargetsPlan::Hundreds:
        case TargetsPlan::UnknownAtoms:
            for (int index = 0; index < 300; ++index) {
                offered.push_back(m_plan.targets == TargetsPlan::Hundreds
                                      ? intern("velmora-junk-" + std::to_string(index))
                                      : static_cast<xcb_atom_t>(uniform(1000000, 0x1fffffff)));
            }
            std::shuffle(offered.begin(), offered.end(), m_random);
            break;
        case TargetsPlan::WrongFormat:
            write(request, XCB_ATOM_STRING, {reinterpret_cast<const char*>(offered.data()), offered.size() * 4});
            return notify(request, request.property);
        case TargetsPlan::Refuse:
            return notify(request, XCB_ATOM_NONE);
        case TargetsPlan::Silent:
            fallSilent();
        case TargetsPlan::Dies:
            std::_Exit(0);
        }
        write(request, XCB_ATOM_ATOM, {reinterpret_cast<const char*>(offered.data()), offered.size() * 4}, 32);
        notify(request, request.property);
    }

    void answerData(const xcb_selection_request_event_t& request, const std::string& payload)
    {
        switch (m_plan.data) {
        case DataPlan::Whole:
            write(request, request.target, payload);
            return notify(request, request.property);
        case DataPlan::Increments:
            return sendIncrementally(request, payload);
        case DataPlan::WrongType: {
            std::string words(payload);
            words.resize((words.size() + 3) / 4 * 4);
            write(request, XCB_ATOM_INTEGER, words, 32);
            return notify(request, request.property);
        }
        case DataPlan::NeverWritten:
            xcb_delete_property(connection, request.requestor, request.property);
            return notify(request, request.property);
        case DataPlan::DeletedBeforeNotify:
            write(request, request.target, payload);
            xcb_delete_property(connection, request.requestor, request.property);
            return notify(request, request.property);
        case DataPlan::Refuse:
            return notify(request, XCB_ATOM_NONE);
        case DataPlan::Silent:
            fallSilent();
        case DataPlan::Dies:
            std::_Exit(0);
        }
    }

    // Each deletion of the property by the requestor asks for the next chunk; an empty one ends.
    void sendIncrementally(const xcb_selection_request_event_t& request, std::string_view payload)
    {
        const uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &watch);
        const uint32_t announced = m_plan.oversized ? 1 : payload.size();
        write(request, intern("INCR"), {reinterpret_cast<const char*>(&announced), 4}, 32);
        notify(request, request.property);
        std::size_t sent = 0;
        for (int chunks = 0; auto* event = xcb_wait_for_event(connection); std::free(event)) {
            const auto type = event->response_type & ~0x80;
            if (type == XCB_SELECTION_CLEAR && m_plan.fault != Fault::ChangesOwner) {
                std::_Exit(0);
            }
            const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (type != XCB_PROPERTY_NOTIFY || change->window != request.requestor ||
                change->atom != request.property || change->state != XCB_PROPERTY_DELETE) {
                continue;
            }
            const auto size = m_plan.largestChunk == 0 ? 0 : uniform(m_plan.smallestChunk, m_plan.largestChunk);
            const auto chunk = payload.substr(sent, size);
            if (chunks++ == m_plan.faultAt && !chunk.empty()) {
                switch (m_plan.fault) {
                case Fault::None:
                    break;
                case Fault::Stops:
                    fallSilent();
                case Fault::Dies:
                    std::_Exit(0);
                case Fault::DeletesAChunk:
                    write(request, request.target, chunk);
                    xcb_delete_property(connection, request.requestor, request.property);
                    xcb_flush(connection);
                    fallSilent();
                case Fault::ChangesOwner:
                    // Another window of ours takes the selection; half the time the transfer goes on.
                    takeClipboard();
                    if (uniform(0, 1) == 0) {
                        fallSilent();
                    }
                    break;
                case Fault::WrongFormat: {
                    std::string padded(chunk);
                    padded.resize((padded.size() + 3) / 4 * 4, ' ');
                    write(request, request.target, padded, 32);
                    sent += chunk.size();
                    continue;
                }
                }
            }
            if (!chunk.empty()) {
                poll(nullptr, 0, m_plan.pause);
            }
            write(request, request.target, chunk);
            sent += chunk.size();
            if (chunk.empty()) {
                // Not exiting at once: the server may drop the last requests of a client that goes.
                return;
            }
        }
        std::_Exit(0);
    }

    const Plan m_plan;
    std::map<xcb_atom_t, std::string> m_payloads;
    std::mt19937_64 m_random;
    xcb_window_t m_window;
};

template <typename Choice> Choice pick(std::mt19937_64& random, std::initializer_list<double> weights)
{
    return static_cast<Choice>(std::discrete_distribution<int>(weights)(random));
}

Plan randomPlan(std::mt19937_64& random, int payloadSize)
{
    const auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    Plan plan;
    plan.targets = pick<TargetsPlan>(random, {50, 6, 10, 10, 8, 6, 4, 6});
    plan.data = pick<DataPlan>(random, {35, 40, 5, 5, 5, 4, 3, 3});
    const int chunking = pick<int>(random, {10, 25, 50, 15});
    // Thousands of round trips are no test of patience but of the machine's speed.
    const bool tiny = chunking == 1 && payloadSize <= 4096;
    plan.smallestChunk = chunking == 0 ? 0 : tiny ? 1 : chunking == 3 ? payloadSize : 4096;
    plan.largestChunk = chunking == 0 ? 0 : tiny ? 16 : chunking == 3 ? payloadSize : 65536;
    plan.oversized = chunking == 3;
    plan.fault = pick<Fault>(random, {50, 10, 10, 10, 10, 10});
    plan.faultAt = uniform(0, 3);
    plan.staysSilent = uniform(0, 5) == 0;
    plan.exitDelay = uniform(0, 300);
    return plan;
}

Plan fixedPlan(std::string_view mode)
{
    Plan plan;
    plan.ignoredRequests = mode == "silent" ? INT_MAX : mode == "silentOnce" ? 1 : 0;
    plan.data = mode == "targetsOnly" ? DataPlan::Silent : DataPlan::Whole;
    if (mode == "diesMidTransfer" || mode == "slowIncrement") {
        plan.data = DataPlan::Increments;
    }
    if (mode == "diesMidTransfer") {
        plan.fault = Fault::Dies;
        plan.faultAt = 1;
    }
    if (mode == "slowIncrement") {
        plan.smallestChunk = plan.largestChunk = 32;
        plan.pause = 500;
    }
    return plan;
}

} // namespace

int main(int argc, char** argv)
{
    connection = xcb_connect(nullptr, nullptr);
    if (argc < 4 || argc % 2 != 0 || xcb_connection_has_error(connection)) {
        return 1;
    }
    std::map<xcb_atom_t, std::string> payloads;
    for (int index = 2; index + 1 < argc; index += 2) {
        std::ifstream file(argv[index + 1], std::ios::binary);
        payloads[intern(argv[index])] = {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    const std::string_view mode = argv[1];
    const bool isRandom = mode.starts_with("random:");
    std::mt19937_64 random(isRandom ? std::strtoull(argv[1] + 7, nullptr, 10) : 0);
    const auto plan =
        isRandom ? randomPlan(random, static_cast<int>(payloads.begin()->second.size())) : fixedPlan(mode);
    const auto window = takeClipboard();
    const Owned<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, intern("CLIPBOARD")), nullptr),
        &std::free);
    if (!owner || owner->owner != window) {
        return 1;
    }
    std::printf("plan %s\nready\n", plan.isWellBehaved() ? "wellBehaved" : "hostile");
    std::fflush(stdout);
    Owner(plan, std::move(payloads), random(), window).run();
    return 0;
}
