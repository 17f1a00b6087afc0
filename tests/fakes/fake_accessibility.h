#pragma once

#include "platform/accessibility.h"
#include "tests/fakes/call_log.h"

#include <vector>

/// Answers as the test says and records the prompts asked for.
class FakeAccessibility final : public platform::Accessibility
{
public:
    explicit FakeAccessibility(bool trusted = true, CallLog* log = nullptr) : m_trusted(trusted), m_log(log) {}

    [[nodiscard]] bool isProcessTrusted(platform::TrustPrompt prompt) override
    {
        if (m_log) {
            m_log->record("isProcessTrusted");
        }
        m_prompts.push_back(prompt);
        return m_trusted;
    }

    [[nodiscard]] const std::vector<platform::TrustPrompt>& prompts() const { return m_prompts; }

private:
    bool m_trusted;
    CallLog* m_log;
    std::vector<platform::TrustPrompt> m_prompts;
};
