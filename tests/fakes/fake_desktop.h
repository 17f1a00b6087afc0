#pragma once

#include "platform/alert.h"
#include "platform/application.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/screens.h"
#include "platform/tray.h"

#include <QPoint>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

/// Every desktop service in one, noting its calls in one log for tests of their order. Grants every hot
/// key, answers every alert at once and has no screen.
struct FakeDesktop final : platform::Application,
                           platform::Keyboard,
                           platform::HotKeys,
                           platform::Tray,
                           platform::Alerts,
                           platform::Screens
{
    enum class Call
    {
        Activate,
        Hide,
        Quit,
        Paste,
        RegisterHotKey,
        ShowTrayIcon,
        Alert,
    };

    void activate() override { log.push_back(Call::Activate); }
    void hide() override { log.push_back(Call::Hide); }
    void quit() override { log.push_back(Call::Quit); }
    void pressPasteChord() override { log.push_back(Call::Paste); }
    [[nodiscard]] bool canPressKeys() const override { return pressesKeys; }
    platform::HotKeyStatus registerHotKey(QKeyCombination /*chord*/, std::function<void()> pressed) override
    {
        log.push_back(Call::RegisterHotKey);
        hotKeyPressed = std::move(pressed);
        return platform::HotKeyStatus::Registered;
    }
    void show(const QIcon& /*icon*/, const QString& /*name*/, ClickHandler /*clicked*/) override
    {
        log.push_back(Call::ShowTrayIcon);
    }
    void exec(const platform::Alert& alert) override
    {
        log.push_back(Call::Alert);
        lastAlert = alert;
    }
    [[nodiscard]] std::vector<platform::Screen> screens() const override { return {}; }
    [[nodiscard]] std::optional<platform::Screen> activeScreen() const override { return std::nullopt; }
    [[nodiscard]] std::optional<QPoint> pointerPosition() const override { return QPoint(); }

    bool pressesKeys = true;
    std::vector<Call> log;
    platform::Alert lastAlert;
    /// What a press of the hot key registered last calls.
    std::function<void()> hotKeyPressed;
};
