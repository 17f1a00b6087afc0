#pragma once

#include "platform/screens.h"

namespace platform {

/// The screens of the running QGuiApplication.
class QtScreens final : public Screens
{
public:
    [[nodiscard]] std::vector<Screen> screens() const override;
    [[nodiscard]] std::optional<Screen> activeScreen() const override;
    [[nodiscard]] std::optional<QPoint> pointerPosition() const override;
};

} // namespace platform
