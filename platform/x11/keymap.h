#pragma once

#include <QKeyCombination>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;

namespace platform::x11 {

/// A snapshot of the server's keyboard mapping: which keycodes carry a keysym, and which keys set which of
/// the eight X modifier bits. Read it again when the mapping may have changed.
class Keymap
{
public:
    explicit Keymap(xcb_connection_t* connection);

    /// The first keycode that types `keysym` unshifted or shifted; 0 when none does.
    [[nodiscard]] std::uint8_t keycode(std::uint32_t keysym) const;
    /// The X modifier bits of Qt's modifiers, Meta being Super; nothing when one of them has no key.
    [[nodiscard]] std::optional<std::uint16_t> mask(Qt::KeyboardModifiers modifiers) const;
    /// The keys that set any of the bits of `mask`.
    [[nodiscard]] std::vector<std::uint8_t> modifierKeycodes(std::uint16_t mask) const;
    /// The bit of the first of Mod1..Mod5 that a key typing one of `keysyms` sets; 0 when none does.
    [[nodiscard]] std::uint16_t maskOfKeysyms(std::initializer_list<std::uint32_t> keysyms) const;

private:
    struct ModifierKey
    {
        std::uint16_t bit;
        std::uint8_t keycode;
    };

    std::unique_ptr<_XCBKeySymbols, void (*)(_XCBKeySymbols*)> m_symbols;
    std::vector<ModifierKey> m_modifierKeys;
};

} // namespace platform::x11
