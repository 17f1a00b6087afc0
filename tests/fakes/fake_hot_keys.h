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
        m_registrations.push_back({chord, std::move(pressed)});
        return platform::HotKeyStatus::Registered;
    }

    [[nodiscard]] std::vector<QKeyCombination> chords() const
    {
        std::vector<QKeyCombination> result;
        for (const auto& registration : m_registrations) {
            result.push_back(registration.chord);
        }
        return result;
    }

    /// Calls the callback of the chord, as a press would; false when it is not registered.
    bool press(QKeyCombination chord) const
    {
        for (const auto& registration : m_registrations) {
            if (registration.chord == chord) {
                registration.pressed();
                return true;
            }
        }
        return false;
    }

private:
    struct Registration
    {
        QKeyCombination chord;
        std::function<void()> pressed;
    };

    CallLog& m_log;
    std::vector<Registration> m_registrations;
};
