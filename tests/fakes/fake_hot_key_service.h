#pragma once

#include "platform/hot_key_service.h"
#include "tests/fakes/call_log.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

/// Records installations and registrations ("installEventHandler", "registerEventHotKey"), which all
/// succeed. `send` plays the event target: it calls the handlers installed for the kind, newest first, until
/// one handles the event.
class FakeHotKeyService final : public platform::HotKeyService
{
public:
    struct Installation
    {
        std::vector<platform::EventTypeSpec> eventTypes;
        EventHandler handler;
    };

    struct Registration
    {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        platform::EventHotKeyID hotKeyID;
        std::uint32_t options;
    };

    explicit FakeHotKeyService(CallLog* log = nullptr) : m_log(log) {}

    platform::HotKeyStatus installEventHandler(std::vector<platform::EventTypeSpec> eventTypes,
                                               EventHandler handler) override
    {
        record("installEventHandler");
        m_installations.push_back({std::move(eventTypes), std::move(handler)});
        return platform::HotKeyStatus::NoError;
    }

    platform::HotKeyStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                               platform::EventHotKeyID hotKeyID, std::uint32_t options) override
    {
        record("registerEventHotKey");
        m_registrations.push_back({keyCode, modifiers, hotKeyID, options});
        return platform::HotKeyStatus::NoError;
    }

    /// The status of the last handler called, or `EventNotHandled` when no handler wanted the event.
    platform::HotKeyStatus send(std::uint32_t eventKind, platform::EventHotKeyID hotKeyID)
    {
        auto status = platform::HotKeyStatus::EventNotHandled;
        const auto installations = m_installations;
        for (auto installed = installations.rbegin(); installed != installations.rend(); ++installed) {
            const auto& types = installed->eventTypes;
            if (std::none_of(types.begin(), types.end(), [&](const auto& type) { return type.eventKind == eventKind; })) {
                continue;
            }
            status = installed->handler({eventKind, hotKeyID});
            if (status == platform::HotKeyStatus::NoError) {
                break;
            }
        }
        return status;
    }

    [[nodiscard]] const std::vector<Installation>& installations() const { return m_installations; }
    [[nodiscard]] const std::vector<Registration>& registrations() const { return m_registrations; }
    [[nodiscard]] const CallLog& calls() const { return m_calls; }

private:
    void record(const char* call)
    {
        m_calls.record(call);
        if (m_log) {
            m_log->record(call);
        }
    }

    std::vector<Installation> m_installations;
    std::vector<Registration> m_registrations;
    CallLog m_calls;
    CallLog* m_log;
};
