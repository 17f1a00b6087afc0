#include "platform/x11/selection_reader.h"

#include "platform/huge_pages.h"
#include "platform/x11/connection.h"

#include <algorithm>
#include <array>
#include <utility>

#include <poll.h>

#include <xcb/xcb.h>
#include <xcb/xproto.h>

namespace platform::x11 {

namespace {

using Clock = std::chrono::steady_clock;

// Each GetProperty asks for this many bytes at most, so that no single reply is huge.
constexpr std::uint32_t propertyChunkSize = 4 * 1024 * 1024;
// A hostile owner may offer any number of targets; real ones offer a few dozen.
constexpr std::size_t maximumTargets = 1024;

using Event = Reply<xcb_generic_event_t>;

std::uint8_t eventType(const xcb_generic_event_t& event)
{
    return event.response_type & ~0x80;
}

struct Waited
{
    Event event;
    /// Why no event came, when none did.
    SelectionReader::Outcome failure = SelectionReader::Outcome::Failed;
};

/// The first event that `isWanted`, skipping the others; none once the owner has been silent for too long,
/// the deadline passes, the connection breaks, the window `owner` is destroyed or the read is interrupted. The silence
/// counts from the call: the caller has just asked the owner, or taken what it sent last.
template <typename IsWanted>
Waited waitForEvent(xcb_connection_t* connection, std::uint32_t owner, IsWanted isWanted,
                    const SelectionReader::Patience& patience)
{
    const auto silenceEnds = Clock::now() + patience.silence;
    for (;;) {
        while (Event event{xcb_poll_for_event(connection)}) {
            if (eventType(*event) == XCB_DESTROY_NOTIFY &&
                reinterpret_cast<const xcb_destroy_notify_event_t&>(*event).window == owner) {
                return {};
            }
            if (isWanted(*event)) {
                return {std::move(event)};
            }
        }
        const auto now = Clock::now();
        if (xcb_connection_has_error(connection) || now >= patience.deadline) {
            return {};
        }
        if (now >= silenceEnds) {
            return {nullptr, SelectionReader::Outcome::Silent};
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(std::min(silenceEnds, patience.deadline) - now);
        std::array descriptors{pollfd{xcb_get_file_descriptor(connection), POLLIN, 0},
                               pollfd{patience.interruption, POLLIN, 0}};
        poll(descriptors.data(), descriptors.size(), static_cast<int>(left.count()));
        if (descriptors[1].revents != 0) {
            return {};
        }
    }
}

} // namespace

std::unique_ptr<SelectionReader> SelectionReader::create(std::uint32_t root)
{
    Connection connection(root != 0 ? xcb_connect(nullptr, nullptr) : nullptr, &xcb_disconnect);
    if (!connection || xcb_connection_has_error(connection.get())) {
        return nullptr;
    }
    return std::unique_ptr<SelectionReader>(new SelectionReader(std::move(connection), root));
}

SelectionReader::SelectionReader(Connection connection, std::uint32_t root)
    : m_connection(std::move(connection)), m_root(root), m_clipboardAtom(atom("CLIPBOARD")),
      m_targetsAtom(atom("TARGETS")), m_incrAtom(atom("INCR")), m_propertyAtom(atom("VELMORA_SELECTION"))
{
    makeRequestor();
}

bool SelectionReader::isConnected() const
{
    return xcb_connection_has_error(m_connection.get()) == 0;
}

void SelectionReader::makeRequestor()
{
    if (m_requestor != 0) {
        xcb_destroy_window(m_connection.get(), m_requestor);
    }
    m_requestor = xcb_generate_id(m_connection.get());
    const std::uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection.get(), XCB_COPY_FROM_PARENT, m_requestor, m_root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &eventMask);
    xcb_flush(m_connection.get());
}

std::uint32_t SelectionReader::atom(const QByteArray& name)
{
    if (const auto known = m_atomsByName.constFind(name); known != m_atomsByName.cend()) {
        return *known;
    }
    const auto cookie =
        xcb_intern_atom(m_connection.get(), 0, static_cast<std::uint16_t>(name.size()), name.constData());
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection.get(), cookie, nullptr));
    if (!reply) {
        return XCB_ATOM_NONE;
    }
    m_atomsByName.insert(name, reply->atom);
    return reply->atom;
}

std::vector<QByteArray> SelectionReader::atomNames(const std::vector<std::uint32_t>& atoms) const
{
    // Ask for every name first and collect the answers after: one round trip in all.
    std::vector<xcb_get_atom_name_cookie_t> cookies;
    for (const auto atom : atoms) {
        cookies.push_back(xcb_get_atom_name(m_connection.get(), atom));
    }
    std::vector<QByteArray> names;
    for (const auto cookie : cookies) {
        const Reply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(m_connection.get(), cookie, nullptr));
        if (reply) {
            names.emplace_back(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
        }
    }
    return names;
}

SelectionReader::Result<std::vector<QByteArray>> SelectionReader::targets(const Patience& patience)
{
    const auto converted = convert(m_targetsAtom, patience);
    if (converted.outcome != Outcome::Received) {
        return {converted.outcome, {}, converted.owner};
    }
    // A list of atoms has 32-bit elements; anything else is not a list of targets.
    if (converted.value.format != 32) {
        return {Outcome::Refused, {}, converted.owner};
    }
    const auto& data = converted.value.data;
    std::vector<std::uint32_t> atoms(std::min(static_cast<std::size_t>(data.size()) / 4, maximumTargets));
    std::copy_n(data.constData(), atoms.size() * 4, reinterpret_cast<char*>(atoms.data()));
    return {Outcome::Received, atomNames(atoms), converted.owner};
}

SelectionReader::Result<QByteArray> SelectionReader::read(const QByteArray& target, const Patience& patience)
{
    const auto targetAtom = atom(target);
    if (targetAtom == XCB_ATOM_NONE) {
        return {Outcome::Failed, {}};
    }
    auto converted = convert(targetAtom, patience);
    // Texts and pictures are byte strings; data in 16- or 32-bit elements is something else.
    if (converted.outcome == Outcome::Received && converted.value.format != 8) {
        return {Outcome::Refused, {}, converted.owner};
    }
    return {converted.outcome, std::move(converted.value.data), converted.owner};
}

SelectionReader::Result<SelectionReader::Property> SelectionReader::convert(std::uint32_t target,
                                                                            const Patience& patience)
{
    // Whatever is still queued belongs to earlier transfers.
    while (Event stale{xcb_poll_for_event(m_connection.get())}) {
    }
    const Reply<xcb_get_selection_owner_reply_t> ownerReply(xcb_get_selection_owner_reply(
        m_connection.get(), xcb_get_selection_owner(m_connection.get(), m_clipboardAtom), nullptr));
    if (!ownerReply) {
        return {Outcome::Failed, {}};
    }
    const auto owner = ownerReply->owner;
    if (owner == XCB_NONE) {
        return {Outcome::Refused, {}};
    }
    // Hearing of the owner's end lets a transfer from an owner that dies fail at once, not at the deadline.
    const std::uint32_t watchOwner = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection.get(), owner, XCB_CW_EVENT_MASK, &watchOwner);
    xcb_delete_property(m_connection.get(), m_requestor, m_propertyAtom);
    xcb_convert_selection(m_connection.get(), m_requestor, m_clipboardAtom, target, m_propertyAtom, XCB_CURRENT_TIME);
    xcb_flush(m_connection.get());

    auto result = [&]() -> Result<Property> {
        const auto [notify, failure] = waitForEvent(
            m_connection.get(), owner,
            [&](const xcb_generic_event_t& event) {
                if (eventType(event) != XCB_SELECTION_NOTIFY) {
                    return false;
                }
                const auto& selection = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
                return selection.requestor == m_requestor && selection.selection == m_clipboardAtom &&
                       selection.target == target;
            },
            patience);
        if (!notify) {
            return {failure, {}};
        }
        const auto property = reinterpret_cast<const xcb_selection_notify_event_t&>(*notify).property;
        if (property == XCB_NONE) {
            return {Outcome::Refused, {}};
        }
        // Normally our property; an owner that put the data elsewhere is followed there.
        // A property that is missing, though the owner named it, is a broken promise.
        auto taken = takeProperty(property);
        if (!taken || taken->type == XCB_NONE) {
            return {Outcome::Failed, {}};
        }
        if (taken->type == m_incrAtom) {
            return readIncrementally(owner, property, patience);
        }
        return {Outcome::Received, std::move(*taken)};
    }();
    result.owner = owner;

    const std::uint32_t noEvents = 0;
    xcb_change_window_attributes(m_connection.get(), owner, XCB_CW_EVENT_MASK, &noEvents);
    if (result.outcome == Outcome::Failed || result.outcome == Outcome::Silent) {
        makeRequestor();
    }
    xcb_flush(m_connection.get());
    return result;
}

SelectionReader::Result<SelectionReader::Property>
SelectionReader::readIncrementally(std::uint32_t owner, std::uint32_t property, const Patience& patience)
{
    // Deleting the INCR announcement, as takeProperty() did, asks the owner for the first chunk; each
    // deletion of a chunk asks for the next, and an empty chunk ends the transfer. Each chunk gives the
    // owner a new spell of silence: a big transfer on a busy machine goes on as long as data flows.
    Property whole;
    for (;;) {
        const auto [newValue, failure] = waitForEvent(
            m_connection.get(), owner,
            [&](const xcb_generic_event_t& event) {
                if (eventType(event) != XCB_PROPERTY_NOTIFY) {
                    return false;
                }
                const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
                return change.window == m_requestor && change.atom == property &&
                       change.state == XCB_PROPERTY_NEW_VALUE;
            },
            patience);
        if (!newValue) {
            return {failure, {}};
        }
        // A chunk deleted before we could read it leaves no property: the end of a transfer is an
        // empty property, not a missing one.
        auto chunk = takeProperty(property);
        if (!chunk || chunk->type == XCB_NONE) {
            return {Outcome::Failed, {}};
        }
        if (chunk->data.isEmpty()) {
            whole.type = chunk->type;
            whole.format = whole.data.isEmpty() ? chunk->format : whole.format;
            // The room grew by doubling: what was never filled goes back.
            whole.data.squeeze();
            return {Outcome::Received, std::move(whole)};
        }
        const bool formatChanged = !whole.data.isEmpty() && chunk->format != whole.format;
        if (formatChanged || static_cast<std::uint64_t>(whole.data.size()) + chunk->data.size() > maximumSize) {
            return {Outcome::Failed, {}};
        }
        whole.format = chunk->format;
        const auto capacity = whole.data.capacity();
        whole.data += chunk->data;
        if (whole.data.capacity() != capacity) {
            adviseHugePages(whole.data.data(), static_cast<std::size_t>(whole.data.capacity()));
        }
    }
}

std::optional<SelectionReader::Property> SelectionReader::takeProperty(std::uint32_t property)
{
    Property taken;
    std::uint32_t offset = 0;
    for (;;) {
        const auto cookie = xcb_get_property(m_connection.get(), 0, m_requestor, property, XCB_GET_PROPERTY_TYPE_ANY,
                                             offset / 4, propertyChunkSize / 4);
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection.get(), cookie, nullptr));
        if (!reply) {
            return std::nullopt;
        }
        const auto length = static_cast<std::uint32_t>(xcb_get_property_value_length(reply.get()));
        if (offset == 0) {
            taken.type = reply->type;
            taken.format = reply->format;
            if (static_cast<std::uint64_t>(length) + reply->bytes_after > maximumSize) {
                xcb_delete_property(m_connection.get(), m_requestor, property);
                return std::nullopt;
            }
            taken.data.reserve(static_cast<qsizetype>(length + reply->bytes_after));
            adviseHugePages(taken.data.data(), static_cast<std::size_t>(taken.data.capacity()));
        }
        taken.data.append(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          static_cast<qsizetype>(length));
        if (reply->bytes_after == 0 || length == 0) {
            break;
        }
        offset += length;
    }
    xcb_delete_property(m_connection.get(), m_requestor, property);
    xcb_flush(m_connection.get());
    return taken;
}

} // namespace platform::x11
