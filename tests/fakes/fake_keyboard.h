#pragma once

#include "platform/keyboard.h"
#include "tests/fakes/call_log.h"

/// Records each paste chord pressed.
class FakeKeyboard final : public platform::Keyboard
{
public:
    explicit FakeKeyboard(CallLog& log) : m_log(log) {}

    void pressPasteChord() override { m_log.push_back(Call::PressPasteChord); }

private:
    CallLog& m_log;
};
