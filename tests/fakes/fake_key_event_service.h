#pragma once

#include "platform/key_event_service.h"
#include "tests/fakes/call_log.h"

#include <cstdint>
#include <optional>
#include <vector>

/// Makes events as the test allows and records each post ("post"). Made events carry the modifier flags
/// the test says the user holds, as events from the hardware's key state do.
class FakeKeyEventService final : public platform::KeyEventService
{
public:
    struct Post
    {
        platform::EventTapLocation tap;
        platform::KeyboardEvent event;
    };

    explicit FakeKeyEventService(CallLog* log = nullptr) : m_log(log) {}

    void setSourceAvailable(bool available) { m_sourceAvailable = available; }
    /// Events of this direction cannot be made.
    void refuseEvents(platform::KeyDirection direction) { m_refused = direction; }
    void setHeldFlags(std::uint64_t flags) { m_heldFlags = flags; }

    std::optional<platform::EventSource> createEventSource(platform::EventSourceStateID state) override
    {
        m_sourceStates.push_back(state);
        if (!m_sourceAvailable) {
            return std::nullopt;
        }
        return platform::EventSource{state};
    }

    std::optional<platform::KeyboardEvent> createKeyboardEvent(const platform::EventSource*, std::uint16_t virtualKey,
                                                               platform::KeyDirection direction) override
    {
        if (m_refused == direction) {
            return std::nullopt;
        }
        return platform::KeyboardEvent{virtualKey, direction, m_heldFlags};
    }

    void post(platform::EventTapLocation tap, const platform::KeyboardEvent& event) override
    {
        m_posts.push_back({tap, event});
        if (m_log) {
            m_log->record("post");
        }
    }

    [[nodiscard]] const std::vector<Post>& posts() const { return m_posts; }
    [[nodiscard]] const std::vector<platform::EventSourceStateID>& sourceStates() const { return m_sourceStates; }

private:
    bool m_sourceAvailable = true;
    std::optional<platform::KeyDirection> m_refused;
    std::uint64_t m_heldFlags = 0;
    std::vector<Post> m_posts;
    std::vector<platform::EventSourceStateID> m_sourceStates;
    CallLog* m_log;
};
