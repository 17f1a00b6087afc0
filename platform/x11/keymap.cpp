#include "platform/x11/keymap.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace platform::x11 {

std::optional<std::uint32_t> keysymOf(Qt::Key key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return XK_a + (key - Qt::Key_A);
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return XK_0 + (key - Qt::Key_0);
    }
    return std::nullopt;
}

Keymap::Keymap(xcb_connection_t* connection) : m_symbols(xcb_key_symbols_alloc(connection))
{
    const std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&std::free)> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr), &std::free);
    if (!mapping) {
        return;
    }
    const auto* keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (std::size_t modifier = 0; modifier < m_modifierKeycodes.size(); ++modifier) {
        for (int index = 0; index < perModifier; ++index) {
            if (const auto keycode = keycodes[modifier * perModifier + index]; keycode != 0) {
                m_modifierKeycodes[modifier].push_back(keycode);
            }
        }
    }
}

Keymap::~Keymap()
{
    xcb_key_symbols_free(m_symbols);
}

std::uint8_t Keymap::keycode(std::uint32_t keysym) const
{
    const std::unique_ptr<xcb_keycode_t, decltype(&std::free)> keycodes(xcb_key_symbols_get_keycode(m_symbols, keysym),
                                                                        &std::free);
    return keycodes ? keycodes.get()[0] : 0;
}

std::optional<std::uint16_t> Keymap::mask(Qt::KeyboardModifiers modifiers) const
{
    // Shift and Control have fixed bits; Alt and Super sit on whichever of Mod1..Mod5 the keymap says.
    const std::array<std::pair<Qt::KeyboardModifier, std::uint16_t>, 4> bits{{
        {Qt::ShiftModifier, XCB_MOD_MASK_SHIFT},
        {Qt::ControlModifier, XCB_MOD_MASK_CONTROL},
        {Qt::AltModifier, maskOfKeysyms({XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R})},
        {Qt::MetaModifier, maskOfKeysyms({XK_Super_L, XK_Super_R})},
    }};
    std::uint16_t result = 0;
    for (const auto& [modifier, bit] : bits) {
        if (modifiers.testFlag(modifier)) {
            if (bit == 0) {
                return std::nullopt;
            }
            result |= bit;
            modifiers &= ~modifier;
        }
    }
    if (modifiers != Qt::NoModifier) {
        return std::nullopt;
    }
    return result;
}

std::uint16_t Keymap::numLockMask() const
{
    return maskOfKeysyms({XK_Num_Lock});
}

std::vector<std::uint8_t> Keymap::modifierKeycodes(std::uint16_t mask) const
{
    std::vector<std::uint8_t> result;
    for (std::size_t modifier = 0; modifier < m_modifierKeycodes.size(); ++modifier) {
        if (mask & (1U << modifier)) {
            result.insert(result.end(), m_modifierKeycodes[modifier].begin(), m_modifierKeycodes[modifier].end());
        }
    }
    return result;
}

std::uint16_t Keymap::maskOfKeysyms(std::initializer_list<std::uint32_t> keysyms) const
{
    constexpr std::size_t firstModN = 3;
    for (std::size_t modifier = firstModN; modifier < m_modifierKeycodes.size(); ++modifier) {
        for (const auto keycode : m_modifierKeycodes[modifier]) {
            const auto keysym = xcb_key_symbols_get_keysym(m_symbols, keycode, 0);
            if (std::find(keysyms.begin(), keysyms.end(), keysym) != keysyms.end()) {
                return static_cast<std::uint16_t>(1U << modifier);
            }
        }
    }
    return 0;
}

} // namespace platform::x11
