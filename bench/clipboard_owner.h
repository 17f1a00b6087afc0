#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct xcb_connection_t;
struct xcb_selection_request_event_t;

/// Plays the application the user copies from: owns CLIPBOARD from a window of its own, on a connection of
/// its own, answers other clients' requests as ICCCM asks, and notes when each request arrives.
class ClipboardOwner
{
public:
    using Clock = std::chrono::steady_clock;

    /// What one copy puts on the clipboard: the same content under each target.
    struct Offer
    {
        std::vector<std::string> targets;
        std::string data;
    };

    struct Request
    {
        Clock::time_point arrived;
        std::string target;
        /// Asks for the content itself (not TARGETS, TIMESTAMP or MULTIPLE) under a target we offer.
        bool isForData = false;
    };

    /// Null when the display cannot be opened.
    [[nodiscard]] static std::unique_ptr<ClipboardOwner> open();

    ClipboardOwner(const ClipboardOwner&) = delete;
    ClipboardOwner& operator=(const ClipboardOwner&) = delete;
    ~ClipboardOwner();

    /// Takes the clipboard with `offer` from a new window, as a copy in an application does, and forgets the
    /// requests noted so far. Returns the moment just before the new owner was set; nothing when the server
    /// refused it or no timestamp came within two seconds.
    [[nodiscard]] std::optional<Clock::time_point> copy(Offer offer);
    /// Leaves the clipboard empty, so that a program that starts next finds nothing on it.
    void release();
    /// Answers whatever arrives within `timeout`; false when the connection has broken.
    bool serve(std::chrono::milliseconds timeout);
    [[nodiscard]] const std::vector<Request>& requests() const { return m_requests; }
    /// Whether another client has taken the clipboard since the last copy.
    [[nodiscard]] bool hasLostClipboard() const { return m_lost; }

private:
    ClipboardOwner(xcb_connection_t* connection, std::uint32_t root);

    [[nodiscard]] std::uint32_t atom(const std::string& name);
    [[nodiscard]] std::string atomName(std::uint32_t atom);
    void handle(const void* event);
    void answer(const xcb_selection_request_event_t& request);
    /// Puts the content for `target` into `property` of `requestor`; false when we cannot give it.
    bool convert(std::uint32_t target, std::uint32_t requestor, std::uint32_t property);
    bool convertMultiple(std::uint32_t requestor, std::uint32_t property);
    void note(std::uint32_t target, Clock::time_point arrived, bool converted);

    xcb_connection_t* m_connection;
    std::uint32_t m_root;
    /// The most a single ChangeProperty may carry, with BIG-REQUESTS.
    std::size_t m_maximumRequestBytes = 0;
    std::map<std::string, std::uint32_t> m_atoms;
    std::map<std::uint32_t, std::string> m_names;

    std::uint32_t m_window = 0;
    std::uint32_t m_ownedSince = 0;
    Offer m_offer;
    std::vector<Request> m_requests;
    bool m_lost = false;
};
