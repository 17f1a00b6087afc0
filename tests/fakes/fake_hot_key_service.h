#pragma once

#include "platform/hot_key_service.h"
#include "tests/fakes/call_log.h"

#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

/// Records installations and registrations with their arguments, in hexadecimal where the API writes
/// them so; both succeed. `send` plays the application's event target.
class FakeHotKeyService final : public platform::HotKeyService
{
public:
    explicit FakeHotKeyService(CallLog& log) : m_log(log) {}

    platform::HotKeyStatus installEventHandler(std::vector<platform::EventTypeSpec> eventTypes,
                                               EventHandler handler) override
    {
        std::string call = "installEventHandler";
        for (const auto& type : eventTypes) {
            char typeText[32];
            std::snprintf(typeText, sizeof typeText, " %#x/%u", type.eventClass, type.eventKind);
            call += typeText;
        }
        m_log.push_back(call);
        m_eventTypes = std::move(eventTypes);
        m_handler = std::move(handler);
        return platform::HotKeyStatus::NoError;
    }

    platform::HotKeyStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                               platform::EventHotKeyID hotKeyID, std::uint32_t options) override
    {
        char call[80];
        std::snprintf(call, sizeof call, "registerEventHotKey %u %#x %#x/%u %u", keyCode, modifiers, hotKeyID.signature,
                      hotKeyID.id, options);
        m_log.push_back(call);
        m_hotKeyID = hotKeyID;
        return platform::HotKeyStatus::NoError;
    }

    /// The handler's answer, or `EventNotHandled` when none was installed for this kind of event.
    platform::HotKeyStatus send(std::uint32_t eventKind)
    {
        for (const auto& type : m_eventTypes) {
            if (type.eventKind == eventKind) {
                return m_handler({eventKind, m_hotKeyID});
            }
        }
        return platform::HotKeyStatus::EventNotHandled;
    }

private:
    CallLog& m_log;
    std::vector<platform::EventTypeSpec> m_eventTypes;
    EventHandler m_handler;
    platform::EventHotKeyID m_hotKeyID{};
};
