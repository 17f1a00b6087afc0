#pragma once

#include "platform/alert.h"
#include "platform/application.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/screens.h"
#include "platform/tray.h"

#include <QPoint>

#include <optional>
#include <string>
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
    void activate() override { log.emplace_back("activate"); }
    void hide() override { log.emplace_back("hide"); }
    void quit() override { log.emplace_back("quit"); }
    void pressPasteChord() override { log.emplace_back("paste"); }
    platform::HotKeyStatus registerHotKey(QKeyCombination /*chord*/, std::function<void()> /*pressed*/) override
    {
        log.emplace_back("register hot key");
        return platform::HotKeyStatus::Registered;
    }
    void show(const QIcon& /*icon*/, const QString& /*name*/, ClickHandler /*clicked*/) override
    {
        log.emplace_back("show tray icon");
    }
    void exec(const platform::Alert& /*alert*/) override { log.emplace_back("alert"); }
    [[nodiscard]] std::vector<platform::Screen> screens() const override { return {}; }
    [[nodiscard]] std::optional<platform::Screen> activeScreen() const override { return std::nullopt; }
    [[nodiscard]] platform::Point pointerPosition() const override { return {}; }
    [[nodiscard]] QPoint topLeftInQt(const platform::Rect& /*rect*/) const override { return {}; }

    std::vector<std::string> log;
};
