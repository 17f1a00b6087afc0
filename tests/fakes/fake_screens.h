#pragma once

#include "platform/screens.h"

#include <optional>
#include <vector>

/// Screens and a pointer that the test sets.
struct FakeScreens final : platform::Screens
{
    [[nodiscard]] std::vector<platform::Screen> screens() const override { return all; }
    [[nodiscard]] std::optional<platform::Screen> mainScreen() const override { return main; }
    [[nodiscard]] platform::Point mouseLocation() const override { return mouse; }

    std::vector<platform::Screen> all;
    std::optional<platform::Screen> main;
    platform::Point mouse;
};
