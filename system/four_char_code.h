#pragma once

#include <cstdint>
#include <string_view>

/// The 32-bit signature spelt by a text: its UTF-8 bytes in big-endian order, the first byte highest. A
/// shorter text fills the low bytes; of a longer one the last four bytes remain.
[[nodiscard]] std::uint32_t fourCharCode(std::string_view text);
