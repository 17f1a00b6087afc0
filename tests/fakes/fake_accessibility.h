#pragma once

#include "platform/accessibility.h"
#include "tests/fakes/call_log.h"

/// An untrusted process: launching must go on all the same.
class FakeAccessibility final : public platform::Accessibility
{
public:
    explicit FakeAccessibility(CallLog& log) : m_log(log) {}

    [[nodiscard]] bool isProcessTrusted(platform::TrustPrompt prompt) override
    {
        m_log.push_back(prompt == platform::TrustPrompt::Show ? "isProcessTrusted(prompt)" : "isProcessTrusted");
        return false;
    }

private:
    CallLog& m_log;
};
