#pragma once

#include "platform/application.h"
#include "tests/fakes/call_log.h"

#include <optional>

/// An application object that records what it is asked ("activate", "hide", "terminate") and hands out
/// the current event the test sets.
class FakeApplication final : public platform::Application
{
public:
    explicit FakeApplication(CallLog* log = nullptr) : m_log(log) {}

    void setCurrentEvent(std::optional<platform::Event> event) { m_currentEvent = event; }

    [[nodiscard]] std::optional<platform::Event> currentEvent() const override { return m_currentEvent; }
    void activate() override { record("activate"); }
    void hide() override { record("hide"); }
    void terminate() override { record("terminate"); }

    [[nodiscard]] const CallLog& calls() const { return m_calls; }

private:
    void record(const char* call)
    {
        m_calls.record(call);
        if (m_log) {
            m_log->record(call);
        }
    }

    std::optional<platform::Event> m_currentEvent;
    CallLog m_calls;
    CallLog* m_log;
};
