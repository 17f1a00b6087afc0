#include "platform/x11/selection_reader.h"

#include "platform/clipboard_formats.h"
#include "platform/huge_pages.h"
#include "platform/x11/connection.h"

#include <algorithm>
#include <array>
#include <utility>

#include <poll.h>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xproto.h>

namespace platform::x11 {

namespace {

using Clock = std::chrono::steady_clock;
using Event = Reply<xcb_generic_event_t>;

// Each GetProperty asks for this many bytes at most, so that no single reply is huge.
constexpr std::uint32_t propertyChunkSize = 4 * 1024 * 1024;

std::uint8_t eventType(const xcb_generic_event_t& event)
{
    return event.response_type & ~0x80;
}

/// Whether an event tells that the selection being read has gone: its owner's window destroyed, or a new
/// owner (or a new copy of the same one) reported after the owner was looked up.
struct SelectionEnd
{
    std::uint32_t owner;
    std::uint32_t ownerSequence;
    std::uint8_t selectionNotify;
    std::uint32_t selection;

    bool operator()(const xcb_generic_event_t& event) const
    {
        if (eventType(event) == XCB_DESTROY_NOTIFY) {
            return reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window == owner;
        }
        if (eventType(event) != selectionNotify) {
            return false;
        }
        // An event carries the sequence number of our last request the server had handled: one handled
        // before the lookup came before it, and the lookup saw its new owner.
        const auto& notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
        return notify.selection == selection && static_cast<std::int32_t>(event.full_sequence - ownerSequence) >= 0;
    }
};

/// The first event that `isWanted`, skipping the others; none once one `ends` the selection, the owner has
/// been silent for too long, the deadline passes, the connection breaks or the read is stopped. The silence
/// counts from the call: the caller has just asked the owner, or taken what it sent last.
template <typename IsWanted>
ReadResult<Event> waitForEvent(xcb_connection_t* connection, IsWanted isWanted, const SelectionEnd& ends,
                               const ReadLimits& limits)
{
    const auto silenceEnds = Clock::now() + limits.silence;
    for (;;) {
        while (Event event{xcb_poll_for_event(connection)}) {
            if (ends(*event)) {
                return {};
            }
            if (isWanted(*event)) {
                return {ReadOutcome::Received, std::move(event)};
            }
        }
        const auto now = Clock::now();
        if (xcb_connection_has_error(connection) || now >= limits.deadline) {
            return {};
        }
        if (now >= silenceEnds) {
            return {ReadOutcome::Silent, nullptr};
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(std::min(silenceEnds, limits.deadline) - now);
        std::array descriptors{pollfd{xcb_get_file_descriptor(connection), POLLIN, 0}, pollfd{limits.stop, POLLIN, 0}};
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
    const auto* xfixes = xcb_get_extension_data(connection.get(), &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) {
        return nullptr;
    }
    // The server speaks XFixes to a client only once it has said which version it knows.
    const Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        connection.get(), xcb_xfixes_query_version(connection.get(), XCB_XFIXES_MAJOR_VERSION, 0), nullptr));
    if (!version) {
        return nullptr;
    }
    const auto selectionNotify = static_cast<std::uint8_t>(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    return std::unique_ptr<SelectionReader>(new SelectionReader(std::move(connection), root, selectionNotify));
}

SelectionReader::SelectionReader(Connection connection, std::uint32_t root, std::uint8_t selectionNotify)
    : m_connection(std::move(connection)), m_root(root), m_selectionNotify(selectionNotify),
      m_clipboardAtom(atom("CLIPBOARD")), m_targetsAtom(atom("TARGETS")), m_incrAtom(atom("INCR")),
      m_propertyAtom(atom("VELMORA_SELECTION")), m_passwordManagerHintAtom(atom(passwordManagerHint))
{
    xcb_xfixes_select_selection_input(m_connection.get(), m_root, m_clipboardAtom,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
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

ReadResult<std::vector<QByteArray>> SelectionReader::targets(const ReadLimits& limits)
{
    // Whatever is still queued tells of earlier selections.
    while (Event stale{xcb_poll_for_event(m_connection.get())}) {
    }
    const auto cookie = xcb_get_selection_owner(m_connection.get(), m_clipboardAtom);
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(m_connection.get(), cookie, nullptr));
    m_replaced = !owner;
    m_owner = owner ? owner->owner : XCB_NONE;
    m_ownerSequence = cookie.sequence;
    if (!owner) {
        return {};
    }
    const auto converted = convert(m_targetsAtom, limits);
    if (converted.outcome != ReadOutcome::Received) {
        return {converted.outcome, {}};
    }
    // A list of atoms has 32-bit elements; anything else is not a list of targets.
    if (converted.value.format != 32) {
        return {ReadOutcome::Refused, {}};
    }
    const auto& data = converted.value.data;
    std::vector<std::uint32_t> atoms(static_cast<std::size_t>(data.size()) / 4);
    std::copy_n(data.constData(), atoms.size() * 4, reinterpret_cast<char*>(atoms.data()));
    // The hint counts wherever it stands; only the names of the first targets are asked for.
    const bool hinted = std::ranges::find(atoms, m_passwordManagerHintAtom) != atoms.end();
    atoms.resize(std::min(atoms.size(), SelectionSource::maximumForms));
    auto names = atomNames(atoms);
    if (hinted) {
        names.emplace_back(passwordManagerHint);
    }
    return {ReadOutcome::Received, std::move(names)};
}

ReadResult<QByteArray> SelectionReader::read(const QByteArray& target, const ReadLimits& limits)
{
    const auto targetAtom = atom(target);
    if (targetAtom == XCB_ATOM_NONE) {
        return {};
    }
    auto converted = convert(targetAtom, limits);
    // Texts and pictures are byte strings; data in 16- or 32-bit elements is something else.
    if (converted.outcome == ReadOutcome::Received && converted.value.format != 8) {
        return {ReadOutcome::Refused, {}};
    }
    return {converted.outcome, std::move(converted.value.data)};
}

ReadResult<SelectionReader::Property> SelectionReader::convert(std::uint32_t target, const ReadLimits& limits)
{
    const SelectionEnd ends{m_owner, m_ownerSequence, m_selectionNotify, m_clipboardAtom};
    // Whatever is still queued belongs to earlier transfers, unless it tells that this selection has gone.
    while (Event stale{xcb_poll_for_event(m_connection.get())}) {
        m_replaced = m_replaced || ends(*stale);
    }
    // Never ask another owner than the one that gave the list: it might offer a secret's hint there.
    if (m_replaced) {
        return {};
    }
    if (m_owner == XCB_NONE) {
        return {ReadOutcome::Refused, {}};
    }
    // Hearing of the owner's end lets a transfer from an owner that dies fail at once, not at the deadline.
    const std::uint32_t watchOwner = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection.get(), m_owner, XCB_CW_EVENT_MASK, &watchOwner);
    xcb_delete_property(m_connection.get(), m_requestor, m_propertyAtom);
    xcb_convert_selection(m_connection.get(), m_requestor, m_clipboardAtom, target, m_propertyAtom, XCB_CURRENT_TIME);
    xcb_flush(m_connection.get());

    auto result = [&]() -> ReadResult<Property> {
        const auto [outcome, notify] = waitForEvent(
            m_connection.get(),
            [&](const xcb_generic_event_t& event) {
                if (eventType(event) != XCB_SELECTION_NOTIFY) {
                    return false;
                }
                const auto& selection = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
                return selection.requestor == m_requestor && selection.selection == m_clipboardAtom &&
                       selection.target == target;
            },
            ends, limits);
        if (!notify) {
            return {outcome, {}};
        }
        const auto property = reinterpret_cast<const xcb_selection_notify_event_t&>(*notify).property;
        if (property == XCB_NONE) {
            return {ReadOutcome::Refused, {}};
        }
        // Normally our property; an owner that put the data elsewhere is followed there.
        // A property that is missing, though the owner named it, is a broken promise.
        auto taken = takeProperty(property);
        if (!taken || taken->type == XCB_NONE) {
            return {};
        }
        if (taken->type == m_incrAtom) {
            return readIncrementally(property, limits);
        }
        return {ReadOutcome::Received, std::move(*taken)};
    }();

    const std::uint32_t noEvents = 0;
    xcb_change_window_attributes(m_connection.get(), m_owner, XCB_CW_EVENT_MASK, &noEvents);
    if (result.outcome == ReadOutcome::Failed || result.outcome == ReadOutcome::Silent) {
        makeRequestor();
    }
    // A failed read of this selection is its last one.
    m_replaced = m_replaced || result.outcome == ReadOutcome::Failed;
    xcb_flush(m_connection.get());
    return result;
}

ReadResult<SelectionReader::Property> SelectionReader::readIncrementally(std::uint32_t property,
                                                                         const ReadLimits& limits)
{
    const SelectionEnd ends{m_owner, m_ownerSequence, m_selectionNotify, m_clipboardAtom};
    // Deleting the INCR announcement, as takeProperty() did, asks the owner for the first chunk; each
    // deletion of a chunk asks for the next, and an empty chunk ends the transfer. Each chunk gives the
    // owner a new spell of silence: a big transfer on a busy machine goes on as long as data flows.
    Property whole;
    for (;;) {
        const auto [outcome, newValue] = waitForEvent(
            m_connection.get(),
            [&](const xcb_generic_event_t& event) {
                if (eventType(event) != XCB_PROPERTY_NOTIFY) {
                    return false;
                }
                const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
                return change.window == m_requestor && change.atom == property &&
                       change.state == XCB_PROPERTY_NEW_VALUE;
            },
            ends, limits);
        if (!newValue) {
            return {outcome, {}};
        }
        // A chunk deleted before we could read it leaves no property: the end of a transfer is an
        // empty property, not a missing one.
        auto chunk = takeProperty(property);
        if (!chunk || chunk->type == XCB_NONE) {
            return {};
        }
        if (chunk->data.isEmpty()) {
            whole.type = chunk->type;
            whole.format = whole.data.isEmpty() ? chunk->format : whole.format;
            // The room grew by doubling: what was never filled goes back.
            whole.data.squeeze();
            return {ReadOutcome::Received, std::move(whole)};
        }
        const bool formatChanged = !whole.data.isEmpty() && chunk->format != whole.format;
        if (formatChanged || whole.data.size() + chunk->data.size() > maximumReadSize) {
            return {};
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
            if (static_cast<std::uint64_t>(length) + reply->bytes_after > maximumReadSize) {
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
