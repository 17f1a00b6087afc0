#pragma once

#include "platform/screens.h"

#include <optional>
#include <utility>
#include <vector>

/// Screens and a pointer that the test sets.
class FakeScreens final : public platform::Screens
{
public:
    void setScreens(std::vector<platform::Screen> screens) { m_screens = std::move(screens); }
    void setMainScreen(std::optional<platform::Screen> screen) { m_mainScreen = std::move(screen); }
    void setMouseLocation(platform::Point location) { m_mouseLocation = location; }

    [[nodiscard]] std::vector<platform::Screen> screens() const override { return m_screens; }
    [[nodiscard]] std::optional<platform::Screen> mainScreen() const override { return m_mainScreen; }
    [[nodiscard]] platform::Point mouseLocation() const override { return m_mouseLocation; }

private:
    std::vector<platform::Screen> m_screens;
    std::optional<platform::Screen> m_mainScreen;
    platform::Point m_mouseLocation;
};
