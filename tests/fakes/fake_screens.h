#pragma once

#include "platform/qt_screens.h"
#include "platform/screens.h"

#include <QRect>

#include <optional>
#include <vector>

/// Screens and a pointer that the test sets.
struct FakeScreens final : platform::Screens
{
    [[nodiscard]] std::vector<platform::Screen> screens() const override { return all; }
    [[nodiscard]] std::optional<platform::Screen> activeScreen() const override { return active; }
    [[nodiscard]] platform::Point pointerPosition() const override { return pointer; }
    [[nodiscard]] QPoint topLeftInQt(const platform::Rect& rect) const override
    {
        return platform::toQtTopLeft(rect, primaryInQt);
    }

    std::vector<platform::Screen> all;
    std::optional<platform::Screen> active;
    platform::Point pointer;
    QRect primaryInQt{0, 0, 1440, 900};
};
