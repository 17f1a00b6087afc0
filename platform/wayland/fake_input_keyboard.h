#pragma once

#include "platform/keyboard.h"

#include <memory>

namespace platform::wayland {

/// Key strokes through KWin's `org_kde_kwin_fake_input`, which KWin offers only to a program that an installed
/// desktop entry names by its absolute path and grants the protocol (`X-KDE-Wayland-Interfaces`). GUI thread only.
class FakeInputKeyboard final : public Keyboard
{
public:
    /// Null unless the application runs on Qt's wayland platform and the compositor grants it fake input.
    [[nodiscard]] static std::unique_ptr<FakeInputKeyboard> create();
    ~FakeInputKeyboard() override;

    void pressPasteChord() override;
    [[nodiscard]] bool canPressKeys() const override { return true; }

private:
    class Device;
    explicit FakeInputKeyboard(std::unique_ptr<Device> device);

    std::unique_ptr<Device> m_device;
};

} // namespace platform::wayland
