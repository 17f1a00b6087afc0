#pragma once

#include "platform/hot_keys.h"
#include "tests/fakes/call_log.h"

#include <functional>
#include <utility>
#include <vector>

/// Records the chords registered, granting each; `press` plays the desktop.
class FakeHotKeys final : public platform::HotKeys
{
public:
    explicit FakeHotKeys(CallLog& log) : m_log(log) {}

    platform::HotKeyStatus registerHotKey(QKeyCombination chord, std::function<void()> pressed) override
    {
        m_log.push_back(Call::RegisterHotKey);
        m_registrations.emplace_back(chord, std::move(pressed));
        return platform::HotKeyStatus::Registered;
    }

    /// Calls the callbacks registered for the chord, as a press would.
    void press(QKeyCombination chord) const
    {
        for (const auto& [registered, pressed] : m_registrations) {
            if (registered == chord) {
                pressed();
            }
        }
    }

private:
    CallLog& m_log;
    std::vector<std::pair<QKeyCombination, std::function<void()>>> m_registrations;
};
