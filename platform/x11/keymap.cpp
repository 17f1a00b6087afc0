#include "platform/x11/keymap.h"

#include "platform/x11/connection.h"

#include <algorithm>
#include <array>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace platform::x11 {

Keymap::Keymap(xcb_connection_t* connection) : m_symbols(xcb_key_symbols_alloc(connection), &xcb_key_symbols_free)
{
    const Reply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    const auto* keycodes = mapping ? xcb_get_modifier_mapping_keycodes(mapping.get()) : nullptr;
    // The reply lists keycodes_per_modifier keys for each of the eight modifiers in turn, 0 for no key.
    for (int index = 0; keycodes && index < xcb_get_modifier_mapping_keycodes_length(mapping.get()); ++index) {
        if (keycodes[index] != 0) {
            m_modifierKeys.push_back(
                {static_cast<std::uint16_t>(1U << (index / mapping->keycodes_per_modifier)), keycodes[index]});
        }
    }
}

std::uint8_t Keymap::keycode(std::uint32_t keysym) const
{
    const Reply<xcb_keycode_t> keycodes(xcb_key_symbols_get_keycode(m_symbols.get(), keysym));
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
        if (modifiers.testFlag(modifier) && bit == 0) {
            return std::nullopt;
        }
        result |= modifiers.testFlag(modifier) ? bit : 0;
        modifiers &= ~modifier;
    }
    return modifiers == Qt::NoModifier ? std::optional(result) : std::nullopt;
}

std::vector<std::uint8_t> Keymap::modifierKeycodes(std::uint16_t mask) const
{
    std::vector<std::uint8_t> result;
    for (const auto& key : m_modifierKeys) {
        if (key.bit & mask) {
            result.push_back(key.keycode);
        }
    }
    return result;
}

std::uint16_t Keymap::maskOfKeysyms(std::initializer_list<std::uint32_t> keysyms) const
{
    for (const auto& key : m_modifierKeys) {
        // Shift, Lock and Control mean themselves; only Mod1..Mod5 take their meaning from their keys.
        if (key.bit >= XCB_MOD_MASK_1 &&
            std::ranges::find(keysyms, xcb_key_symbols_get_keysym(m_symbols.get(), key.keycode, 0)) != keysyms.end()) {
            return key.bit;
        }
    }
    return 0;
}

} // namespace platform::x11
