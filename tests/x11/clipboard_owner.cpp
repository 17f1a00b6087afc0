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
//   velmora_test_clipboard_owner random SEED FILE TARGET
//                                                 offers the bytes of FILE as TARGET and misbehaves at
//                                                 random, or not, as SEED decides: target lists empty, of
//                                                 hundreds, of unknown atoms or of the wrong format; data
//                                                 of the wrong type, never written or deleted; increments
//                                                 empty, tiny or oversized; silence, death or a new owner
//                                                 mid-transfer. Prints "plan wellBehaved" or "plan hostile"
//                                                 first, then serves without printing requests.
//
// Prints "ready" once it owns the selection, then "asked <target>" for each request it receives; exits
// when it loses the selection or is killed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

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

// The randomised owner: one round of a fuzzing test. Its seed picks how it answers TARGETS and the data,
// and what goes wrong; whatever it delivers in full is exactly the payload, so that a reader that glues or
// cuts transfers shows.
class RandomOwner
{
public:
    RandomOwner(std::uint64_t seed, std::string payload, xcb_atom_t target, xcb_window_t window)
        : m_random(seed), m_payload(std::move(payload)), m_target(target), m_window(window)
    {
        m_targetsPlan = pick<TargetsPlan>({50, 6, 10, 10, 8, 6, 4, 6});
        m_dataPlan = pick<DataPlan>({35, 40, 5, 5, 5, 4, 3, 3});
        m_chunking = pick<Chunking>({10, 25, 50, 15});
        m_fault = pick<IncrementFault>({50, 10, 10, 10, 10, 10});
        m_faultAt = uniform(0, 3);
        m_staysQuiet = uniform(0, 5) == 0;
        m_exitDelay = uniform(0, 300);
        // Thousands of round trips are no test of patience but of the machine's speed.
        if (m_chunking == Chunking::Tiny && m_payload.size() > 4096) {
            m_chunking = Chunking::Normal;
        }
    }

    /// Whether a reader must capture the payload: a correct offer, delivered whole.
    [[nodiscard]] bool isWellBehaved() const
    {
        const bool offers = m_targetsPlan == TargetsPlan::Correct || m_targetsPlan == TargetsPlan::Hundreds ||
                            m_targetsPlan == TargetsPlan::UnknownAtoms;
        const bool delivers =
            m_dataPlan == DataPlan::Whole ||
            (m_dataPlan == DataPlan::Increments && m_fault == IncrementFault::None && m_chunking != Chunking::Empty);
        return offers && delivers;
    }

    /// Serves requests until the selection is lost; may exit on its own.
    void run(xcb_atom_t targets)
    {
        for (; auto* event = xcb_wait_for_event(connection); std::free(event)) {
            const auto type = event->response_type & ~0x80;
            if (type == XCB_SELECTION_CLEAR) {
                return;
            }
            if (type != XCB_SELECTION_REQUEST) {
                continue;
            }
            const auto& request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
            if (request.owner != m_window) {
                // The window that took over mid-transfer has nothing to give.
                notify(request, XCB_ATOM_NONE);
            } else if (request.target == targets) {
                answerTargets(request, targets);
            } else if (request.target == m_target) {
                answerData(request);
            } else {
                notify(request, XCB_ATOM_NONE);
            }
        }
    }

private:
    enum class TargetsPlan
    {
        Correct,
        Empty,
        Hundreds,
        UnknownAtoms,
        WrongFormat,
        Refuse,
        Silent,
        Dies,
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
        Dies,
    };
    enum class Chunking
    {
        Empty,
        Tiny,
        Normal,
        Oversized,
    };
    enum class IncrementFault
    {
        None,
        Stops,
        Dies,
        DeletesAChunk,
        ChangesOwner,
        WrongFormat,
    };

    template <typename Choice> Choice pick(std::initializer_list<double> weights)
    {
        std::discrete_distribution<int> distribution(weights);
        return static_cast<Choice>(distribution(m_random));
    }

    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    /// Stops answering: rarely for good, mostly by exiting a little later, as a crashed client does.
    [[noreturn]] void fallQuiet()
    {
        if (m_staysQuiet) {
            for (auto* event = xcb_wait_for_event(connection); event; event = xcb_wait_for_event(connection)) {
                const auto type = event->response_type & ~0x80;
                std::free(event);
                if (type == XCB_SELECTION_CLEAR) {
                    std::_Exit(0);
                }
            }
            std::_Exit(0);
        }
        poll(nullptr, 0, m_exitDelay);
        std::_Exit(0);
    }

    void answerTargets(const xcb_selection_request_event_t& request, xcb_atom_t targets)
    {
        std::vector<xcb_atom_t> offered{targets, m_target};
        switch (m_targetsPlan) {
        case TargetsPlan::Correct:
            break;
        case TargetsPlan::Empty:
            offered.clear();
            break;
        case TargetsPlan::Hundreds:
            for (int index = 0; index < 300; ++index) {
                offered.push_back(intern("velmora-junk-" + std::to_string(index)));
            }
            std::shuffle(offered.begin(), offered.end(), m_random);
            break;
        case TargetsPlan::UnknownAtoms:
            for (int index = 0; index < 50; ++index) {
                offered.push_back(static_cast<xcb_atom_t>(uniform(1000000, 0x1fffffff)));
            }
            std::shuffle(offered.begin(), offered.end(), m_random);
            break;
        case TargetsPlan::WrongFormat:
            put(request, XCB_ATOM_STRING, 8, offered.data(), offered.size() * 4);
            return;
        case TargetsPlan::Refuse:
            notify(request, XCB_ATOM_NONE);
            return;
        case TargetsPlan::Silent:
            fallQuiet();
        case TargetsPlan::Dies:
            std::_Exit(0);
        }
        put(request, XCB_ATOM_ATOM, 32, offered.data(), offered.size());
    }

    void answerData(const xcb_selection_request_event_t& request)
    {
        switch (m_dataPlan) {
        case DataPlan::Whole:
            put(request, m_target, 8, m_payload.data(), m_payload.size());
            return;
        case DataPlan::Increments:
            sendIncrementally(request);
            return;
        case DataPlan::WrongType: {
            std::vector<uint32_t> words((m_payload.size() + 3) / 4);
            std::memcpy(words.data(), m_payload.data(), m_payload.size());
            put(request, XCB_ATOM_INTEGER, 32, words.data(), words.size());
            return;
        }
        case DataPlan::NeverWritten:
            xcb_delete_property(connection, request.requestor, request.property);
            notify(request, request.property);
            return;
        case DataPlan::DeletedBeforeNotify:
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, m_target, 8,
                                static_cast<uint32_t>(m_payload.size()), m_payload.data());
            xcb_delete_property(connection, request.requestor, request.property);
            notify(request, request.property);
            return;
        case DataPlan::Refuse:
            notify(request, XCB_ATOM_NONE);
            return;
        case DataPlan::Silent:
            fallQuiet();
        case DataPlan::Dies:
            std::_Exit(0);
        }
    }

    std::size_t chunkSize()
    {
        switch (m_chunking) {
        case Chunking::Empty:
            return 0;
        case Chunking::Tiny:
            return static_cast<std::size_t>(uniform(1, 16));
        case Chunking::Normal:
            return static_cast<std::size_t>(uniform(4096, 65536));
        case Chunking::Oversized:
            // Far beyond the announced size, in one piece.
            return m_payload.size();
        }
        return 0;
    }

    void writeChunk(const xcb_selection_request_event_t& request, std::string_view chunk, uint8_t format = 8)
    {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, m_target, format,
                            static_cast<uint32_t>(chunk.size() / (format / 8)), chunk.data());
        xcb_flush(connection);
    }

    // Each deletion of the property by the requestor asks for the next chunk; an empty one ends.
    void sendIncrementally(const xcb_selection_request_event_t& request)
    {
        const uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &watch);
        const uint32_t announcedSize = m_chunking == Chunking::Oversized ? 1 : static_cast<uint32_t>(m_payload.size());
        put(request, intern("INCR"), 32, &announcedSize, 1);
        std::size_t sent = 0;
        for (int chunks = 0; auto* event = xcb_wait_for_event(connection); std::free(event)) {
            const auto type = event->response_type & ~0x80;
            if (type == XCB_SELECTION_CLEAR && m_fault != IncrementFault::ChangesOwner) {
                std::_Exit(0);
            }
            const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (type != XCB_PROPERTY_NOTIFY || change->window != request.requestor ||
                change->atom != request.property || change->state != XCB_PROPERTY_DELETE) {
                continue;
            }
            const auto size = m_chunking == Chunking::Empty ? 0 : std::max<std::size_t>(chunkSize(), 1);
            const auto chunk = std::string_view(m_payload).substr(sent, size);
            if (chunks++ == m_faultAt && !chunk.empty()) {
                switch (m_fault) {
                case IncrementFault::None:
                    break;
                case IncrementFault::Stops:
                    fallQuiet();
                case IncrementFault::Dies:
                    std::_Exit(0);
                case IncrementFault::DeletesAChunk:
                    writeChunk(request, chunk);
                    xcb_delete_property(connection, request.requestor, request.property);
                    xcb_flush(connection);
                    fallQuiet();
                case IncrementFault::ChangesOwner: {
                    // Another window of ours takes the selection; half the time the transfer goes on.
                    const auto other = xcb_generate_id(connection);
                    xcb_create_window(connection, XCB_COPY_FROM_PARENT, other,
                                      xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root, 0, 0, 1, 1, 0,
                                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
                    xcb_set_selection_owner(connection, other, intern("CLIPBOARD"), XCB_CURRENT_TIME);
                    if (uniform(0, 1) == 0) {
                        fallQuiet();
                    }
                    break;
                }
                case IncrementFault::WrongFormat: {
                    std::string padded(chunk);
                    padded.resize((padded.size() + 3) / 4 * 4, ' ');
                    writeChunk(request, padded, 32);
                    sent += chunk.size();
                    continue;
                }
                }
            }
            writeChunk(request, chunk);
            sent += chunk.size();
            if (chunk.empty()) {
                return;
            }
        }
        std::_Exit(0);
    }

    std::mt19937_64 m_random;
    std::string m_payload;
    xcb_atom_t m_target;
    xcb_window_t m_window;
    TargetsPlan m_targetsPlan;
    DataPlan m_dataPlan;
    Chunking m_chunking;
    IncrementFault m_fault;
    int m_faultAt = 0;
    bool m_staysQuiet = false;
    int m_exitDelay = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const std::string_view mode = argc >= 2 ? argv[1] : "";
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
    if (mode == "random") {
        if (argc != 5) {
            return 1;
        }
        std::ifstream file(argv[3], std::ios::binary);
        std::string payload{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        RandomOwner randomOwner(std::strtoull(argv[2], nullptr, 10), std::move(payload), intern(argv[4]), window);
        std::printf("plan %s\nready\n", randomOwner.isWellBehaved() ? "wellBehaved" : "hostile");
        std::fflush(stdout);
        randomOwner.run(targets);
        return 0;
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
