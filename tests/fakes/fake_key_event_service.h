#pragma once

#include "platform/key_event_service.h"
#include "tests/fakes/call_log.h"

#include <cstdint>
#include <cstdio>
#include <optional>

/// Makes events as the test allows and logs each source asked for and each post. Made events carry the
/// modifiers the user holds, as events made from the keyboard's state do.
class FakeKeyEventService final : public platform::KeyEventService
{
public:
    explicit FakeKeyEventService(CallLog& log) : m_log(log) {}

    void setSourceAvailable(bool available) { m_sourceAvailable = available; }
    /// Events of this direction cannot be made.
    void refuseEvents(platform::KeyDirection direction) { m_refused = direction; }
    void setHeldFlags(std::uint64_t flags) { m_heldFlags = flags; }

    std::optional<platform::EventSource> createEventSource(platform::EventSourceStateID state) override
    {
        m_log.push_back("createEventSource " + std::to_string(static_cast<int>(state)));
        return m_sourceAvailable ? std::optional(platform::EventSource{state}) : std::nullopt;
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
        char call[64];
        std::snprintf(call, sizeof call, "post %d: %u %s %#llx", static_cast<int>(tap), event.virtualKey,
                      event.direction == platform::KeyDirection::Down ? "down" : "up",
                      static_cast<unsigned long long>(event.flags));
        m_log.push_back(call);
    }

private:
    CallLog& m_log;
    bool m_sourceAvailable = true;
    std::optional<platform::KeyDirection> m_refused;
    std::uint64_t m_heldFlags = 0;
};
