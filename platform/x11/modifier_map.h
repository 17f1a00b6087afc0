#pragma once

#include "platform/x11/key_mapping.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

struct _XDisplay;

namespace platform::x11 {

/// The server's modifier mapping: which keys set which of the eight X modifier bits. A snapshot; read it
/// again when the mapping may have changed.
class ModifierMap
{
public:
    /// Empty when the mapping cannot be read.
    explicit ModifierMap(_XDisplay* display);

    /// The X modifier bit a modifier sets; 0 when no key carries it.
    [[nodiscard]] unsigned mask(Modifier modifier) const;
    /// The bit of Num Lock; 0 when no key carries it.
    [[nodiscard]] unsigned numLockMask() const;
    /// The keys that set any of the bits of `mask`.
    [[nodiscard]] std::vector<std::uint8_t> keycodes(unsigned mask) const;

private:
    [[nodiscard]] unsigned maskOfKeysyms(std::initializer_list<unsigned long> keysyms) const;

    _XDisplay* m_display;
    std::array<std::vector<std::uint8_t>, 8> m_keycodes;
};

} // namespace platform::x11
