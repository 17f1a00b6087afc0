#pragma once

#include "platform/hot_key_service.h"
#include "tests/fakes/call_log.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

/// Records installations and registrations ("installEventHandler", "registerEventHotKey") and answers
/// with the statuses the test sets. `send` plays the event target: it calls the handlers installed for
/// the kind, newest first, until one handles the event.
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

    void setInstallStatus(platform::HotKeyStatus status) { m_installStatus = status; }
    void setRegisterStatus(platform::HotKeyStatus status) { m_registerStatus = status; }

    platform::HotKeyStatus installEventHandler(std::vector<platform::EventTypeSpec> eventTypes,
                                               EventHandler handler) override
    {
        record("installEventHandler");
        if (m_installStatus == platform::HotKeyStatus::NoError) {
            m_installations.push_back({std::move(eventTypes), std::move(handler)});
        }
        return m_installStatus;
    }

    platform::HotKeyStatus registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                               platform::EventHotKeyID hotKeyID, std::uint32_t options) override
    {
        record("registerEventHotKey");
        m_registrations.push_back({keyCode, modifiers, hotKeyID, options});
        return m_registerStatus;
    }

    /// Delivers an event of `eventKind` for `hotKeyID`; the status of the last handler called, or
    /// `EventNotHandled` when no handler wanted it.
    platform::HotKeyStatus send(std::uint32_t eventKind, platform::EventHotKeyID hotKeyID)
    {
        const platform::HotKeyEvent event{eventKind, hotKeyID};
        auto status = platform::HotKeyStatus::EventNotHandled;
        const auto installations = m_installations;
        for (auto installed = installations.rbegin(); installed != installations.rend(); ++installed) {
            const bool wanted = std::any_of(installed->eventTypes.begin(), installed->eventTypes.end(),
                                            [&](const platform::EventTypeSpec& type) {
                                                return type.eventClass == platform::kEventClassKeyboard &&
                                                       type.eventKind == eventKind;
                                            });
            if (!wanted) {
                continue;
            }
            status = installed->handler(event);
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

    platform::HotKeyStatus m_installStatus = platform::HotKeyStatus::NoError;
    platform::HotKeyStatus m_registerStatus = platform::HotKeyStatus::NoError;
    std::vector<Installation> m_installations;
    std::vector<Registration> m_registrations;
    CallLog m_calls;
    CallLog* m_log;
};
