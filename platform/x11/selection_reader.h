#pragma once

#include "platform/selection_source.h"

#include <QByteArray>
#include <QHash>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace platform::x11 {

/// Reads the CLIPBOARD selection of another application on an X connection of its own, so that every
/// wait has a bound of ours: Qt's reader waits 5 s per request, and that cannot be shortened.
/// Each read keeps to one selection: the owner that gave the list of forms gives the content, and a read
/// fails as soon as the server reports a new owner or a new copy of the same one (XFixes). Handles
/// incremental (INCR) transfers. Used on one thread at a time.
class SelectionReader
{
public:
    /// Connects to $DISPLAY, the display the application runs on (Velmora takes no -display argument), to
    /// read the selection for the screen of `root`. Null when `root` is 0, the connection fails or the server
    /// lacks XFixes.
    [[nodiscard]] static std::unique_ptr<SelectionReader> create(std::uint32_t root);

    /// Begins a read of the selection as it is now: the names of the forms its owner offers (its TARGETS).
    [[nodiscard]] ReadResult<std::vector<QByteArray>> targets(const ReadLimits& limits);
    /// The selection begun by `targets()` converted to `target`.
    [[nodiscard]] ReadResult<QByteArray> read(const QByteArray& target, const ReadLimits& limits);

    /// False once the connection to the server is broken; the reader is then of no further use.
    [[nodiscard]] bool isConnected() const;

private:
    struct Property
    {
        std::uint32_t type = 0;
        std::uint8_t format = 0;
        QByteArray data;
    };

    using Connection = std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)>;

    SelectionReader(Connection connection, std::uint32_t root, std::uint8_t selectionNotify);

    [[nodiscard]] ReadResult<Property> convert(std::uint32_t target, const ReadLimits& limits);
    [[nodiscard]] ReadResult<Property> readIncrementally(std::uint32_t property, const ReadLimits& limits);
    /// Reads and deletes the property of the requestor window; nothing when it is too large.
    [[nodiscard]] std::optional<Property> takeProperty(std::uint32_t property);
    void makeRequestor();
    [[nodiscard]] std::uint32_t atom(const QByteArray& name);
    [[nodiscard]] std::vector<QByteArray> atomNames(const std::vector<std::uint32_t>& atoms) const;

    Connection m_connection;
    std::uint32_t m_root;
    // The event code of XFixes' selection notification on this connection.
    std::uint8_t m_selectionNotify;
    // Before the atoms below, which are interned through it.
    QHash<QByteArray, std::uint32_t> m_atomsByName;
    // The window the owner delivers to; replaced after a failed transfer, so that late answers to an
    // abandoned request cannot be taken for the next one.
    std::uint32_t m_requestor = 0;
    std::uint32_t m_clipboardAtom;
    std::uint32_t m_targetsAtom;
    std::uint32_t m_incrAtom;
    std::uint32_t m_propertyAtom;
    std::uint32_t m_passwordManagerHintAtom;

    // The selection being read: its owner, 0 for none, and the sequence number of the request that found it.
    // A change of owner reported with a later sequence number came after.
    std::uint32_t m_owner = 0;
    std::uint32_t m_ownerSequence = 0;
    bool m_replaced = true;
};

} // namespace platform::x11
