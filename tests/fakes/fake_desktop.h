#pragma once

#include "platform/alert.h"
#include "platform/application.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/qt_screens.h"
#include "platform/screens.h"
#include "platform/tray.h"

#include <QRect>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Desktop stand-ins; their calls go into one log, for tests of the order between collaborators.
enum class Call
{
    Activate,
    Hide,
    Quit,
    ShowTray,
    RegisterHotKey,
    PressPasteChord,
    ShowAlert
};
using CallLog = std::vector<Call>;

struct FakeApplication final : platform::Application
{
    explicit FakeApplication(CallLog& log) : log(log) {}
    void activate() override { log.push_back(Call::Activate); }
    void hide() override { log.push_back(Call::Hide); }
    void quit() override { log.push_back(Call::Quit); }
    CallLog& log;
};

struct FakeKeyboard final : platform::Keyboard
{
    explicit FakeKeyboard(CallLog& log) : log(log) {}
    void pressPasteChord() override { log.push_back(Call::PressPasteChord); }
    CallLog& log;
};

// Grants every chord; `press` plays the desktop.
struct FakeHotKeys final : platform::HotKeys
{
    explicit FakeHotKeys(CallLog& log) : log(log) {}
    platform::HotKeyStatus registerHotKey(QKeyCombination chord, std::function<void()> pressed) override
    {
        log.push_back(Call::RegisterHotKey);
        registrations.emplace_back(chord, std::move(pressed));
        return platform::HotKeyStatus::Registered;
    }
    void press(QKeyCombination chord) const
    {
        for (const auto& [registered, pressed] : registrations) {
            if (registered == chord) {
                pressed();
            }
        }
    }
    CallLog& log;
    std::vector<std::pair<QKeyCombination, std::function<void()>>> registrations;
};

// Tests call `clicked` as the tray host would.
struct FakeTray final : platform::Tray
{
    explicit FakeTray(CallLog& log) : log(log) {}
    void show(const QIcon& icon, const QString& /*name*/, ClickHandler clicked) override
    {
        log.push_back(Call::ShowTray);
        hasIcon = !icon.isNull();
        this->clicked = std::move(clicked);
    }
    CallLog& log;
    bool hasIcon = false;
    ClickHandler clicked;
};

// Each alert returns at once, as if its button had been pressed.
struct FakeAlerts final : platform::Alerts
{
    explicit FakeAlerts(CallLog& log) : log(log) {}
    void exec(const platform::Alert& alert) override
    {
        log.push_back(Call::ShowAlert);
        shown.push_back(alert);
    }
    CallLog& log;
    std::vector<platform::Alert> shown;
};

struct FakeScreens final : platform::Screens
{
    [[nodiscard]] std::vector<platform::Screen> screens() const override { return all; }
    [[nodiscard]] std::optional<platform::Screen> activeScreen() const override { return std::nullopt; }
    [[nodiscard]] platform::Point pointerPosition() const override { return pointer; }
    [[nodiscard]] QPoint topLeftInQt(const platform::Rect& rect) const override
    {
        return platform::toQtTopLeft(rect, QRect(0, 0, 1440, 900));
    }

    std::vector<platform::Screen> all;
    platform::Point pointer;
};
