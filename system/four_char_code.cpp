#include "system/four_char_code.h"

std::uint32_t fourCharCode(std::string_view text)
{
    std::uint32_t code = 0;
    for (const char byte : text) {
        // The shift drops the bytes beyond the last four.
        code = (code << 8) | static_cast<unsigned char>(byte);
    }
    return code;
}
