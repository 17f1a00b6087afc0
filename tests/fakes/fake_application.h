#pragma once

#include "platform/application.h"
#include "tests/fakes/call_log.h"

#include <optional>

/// Records what it is asked and hands out the current event the test sets.
class FakeApplication final : public platform::Application
{
public:
    explicit FakeApplication(CallLog& log) : m_log(log) {}

    void setCurrentEvent(std::optional<platform::Event> event) { m_currentEvent = event; }

    [[nodiscard]] std::optional<platform::Event> currentEvent() const override { return m_currentEvent; }
    void activate() override { m_log.push_back("activate"); }
    void hide() override { m_log.push_back("hide"); }
    void terminate() override { m_log.push_back("terminate"); }

private:
    CallLog& m_log;
    std::optional<platform::Event> m_currentEvent;
};
