#include "platform/x11/x11_backend.h"

#include "platform/x11/connection.h"
#include "platform/x11/keymap.h"

#include <algorithm>
#include <memory>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace platform {

namespace {

// Ctrl+V is the paste chord of Linux applications, where a Mac pastes with Command+V.
constexpr std::uint16_t pasteModifierMask = XCB_MOD_MASK_CONTROL;
constexpr std::uint32_t pasteKeysym = XK_v;

/// Types through XTest, or nothing without it. The chord's own modifier is pressed for it and released
/// after; the modifier keys that the user still holds are released first, so that the receiver sees the
/// chord alone.
class X11Keyboard final : public Keyboard
{
public:
    X11Keyboard(xcb_connection_t* connection, xcb_window_t root) : m_connection(connection), m_root(root) {}

    void pressPasteChord() override;
    [[nodiscard]] bool canPressKeys() const override { return m_connection != nullptr; }

private:
    void fakeKey(std::uint8_t type, xcb_keycode_t keycode) const
    {
        xcb_test_fake_input(m_connection, type, keycode, XCB_CURRENT_TIME, m_root, 0, 0, XCB_NONE);
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

void X11Keyboard::pressPasteChord()
{
    if (!m_connection) {
        return;
    }
    const x11::Keymap keymap(m_connection);
    const auto key = keymap.keycode(pasteKeysym);
    if (key == 0) {
        return;
    }
    const x11::Reply<xcb_query_keymap_reply_t> pressed(
        xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr));
    const auto isDown = [&pressed](xcb_keycode_t keycode) {
        return pressed && (pressed->keys[keycode / 8] >> (keycode % 8)) & 1;
    };

    constexpr std::uint16_t allModifiers = 0xFF;
    for (const auto keycode : keymap.modifierKeycodes(allModifiers & ~pasteModifierMask)) {
        if (isDown(keycode)) {
            fakeKey(XCB_KEY_RELEASE, keycode);
        }
    }
    const auto chordKeys = keymap.modifierKeycodes(pasteModifierMask);
    const bool pressModifier = !chordKeys.empty() && !std::ranges::any_of(chordKeys, isDown);
    const auto modifierKey = pressModifier ? chordKeys.front() : xcb_keycode_t{0};
    if (modifierKey != 0) {
        fakeKey(XCB_KEY_PRESS, modifierKey);
    }
    fakeKey(XCB_KEY_PRESS, key);
    fakeKey(XCB_KEY_RELEASE, key);
    if (modifierKey != 0) {
        fakeKey(XCB_KEY_RELEASE, modifierKey);
    }
    xcb_flush(m_connection);
}

} // namespace

std::unique_ptr<Keyboard> x11::createKeyboard()
{
    auto* connection = x11::applicationConnection();
    const auto* xtest = connection ? xcb_get_extension_data(connection, &xcb_test_id) : nullptr;
    return std::make_unique<X11Keyboard>(xtest && xtest->present ? connection : nullptr, x11::applicationRoot());
}

} // namespace platform
