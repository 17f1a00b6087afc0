#pragma once

#include <QByteArray>
#include <QHash>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace platform::x11 {

/// Reads the CLIPBOARD selection of another application on an X connection of its own, so that every
/// wait has a bound of ours: Qt's reader waits 5 s per request, and that cannot be shortened.
/// Handles incremental (INCR) transfers. Used on one thread at a time.
class SelectionReader
{
public:
    /// How long to wait: an owner that sends data keeps the transfer going, one that falls silent ends it.
    struct Patience
    {
        /// The longest time the owner may send nothing, counted from the request or its last chunk.
        std::chrono::milliseconds silence;
        /// When the transfer ends however busy the owner is, against an owner that trickles forever.
        std::chrono::steady_clock::time_point deadline;
        /// A descriptor that turns readable when the transfer must end at once, as the program quits; -1 for
        /// none.
        int interruption = -1;
    };

    enum class Outcome
    {
        Received,
        /// Nobody owns the selection, or the owner cannot give it in the asked form.
        Refused,
        /// The owner sent nothing for `Patience::silence`: busy or hung, it still holds the selection.
        Silent,
        /// The owner died, broke the protocol, passed the deadline or sent more than `maximumSize`, or the
        /// transfer was interrupted.
        Failed,
    };

    template <typename Value> struct Result
    {
        Outcome outcome = Outcome::Failed;
        Value value{};
        /// The window that owned the selection when it was asked; none when nobody did.
        std::uint32_t owner = 0;
    };

    /// Largest transfer accepted, in bytes.
    static constexpr std::uint32_t maximumSize = 128 * 1024 * 1024;

    /// Connects to $DISPLAY, the display the application runs on (Velmora takes no -display argument), to
    /// read the selection for the screen of `root`. Null when `root` is 0 or the connection fails.
    [[nodiscard]] static std::unique_ptr<SelectionReader> create(std::uint32_t root);

    /// The names of the forms the owner offers (its TARGETS).
    [[nodiscard]] Result<std::vector<QByteArray>> targets(const Patience& patience);
    /// The selection converted to `target`.
    [[nodiscard]] Result<QByteArray> read(const QByteArray& target, const Patience& patience);

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

    SelectionReader(Connection connection, std::uint32_t root);

    [[nodiscard]] Result<Property> convert(std::uint32_t target, const Patience& patience);
    [[nodiscard]] Result<Property> readIncrementally(std::uint32_t owner, std::uint32_t property,
                                                     const Patience& patience);
    /// Reads and deletes the property of the requestor window; nothing when it is too large.
    [[nodiscard]] std::optional<Property> takeProperty(std::uint32_t property);
    void makeRequestor();
    [[nodiscard]] std::uint32_t atom(const QByteArray& name);
    [[nodiscard]] std::vector<QByteArray> atomNames(const std::vector<std::uint32_t>& atoms) const;

    Connection m_connection;
    std::uint32_t m_root;
    // Before the atoms below, which are interned through it.
    QHash<QByteArray, std::uint32_t> m_atomsByName;
    // The window the owner delivers to; replaced after a failed transfer, so that late answers to an
    // abandoned request cannot be taken for the next one.
    std::uint32_t m_requestor = 0;
    std::uint32_t m_clipboardAtom;
    std::uint32_t m_targetsAtom;
    std::uint32_t m_incrAtom;
    std::uint32_t m_propertyAtom;
};

} // namespace platform::x11
