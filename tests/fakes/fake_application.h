#pragma once

#include "platform/application.h"
#include "tests/fakes/call_log.h"

/// Records what it is asked.
class FakeApplication final : public platform::Application
{
public:
    explicit FakeApplication(CallLog& log) : m_log(log) {}

    void activate() override { m_log.push_back(Call::Activate); }
    void hide() override { m_log.push_back(Call::Hide); }
    void quit() override { m_log.push_back(Call::Quit); }

private:
    CallLog& m_log;
};
