#include "system/four_char_code.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

TEST(FourCharCodeTest, PacksTheBytesBigEndianKeepingTheLastFour)
{
    const struct
    {
        std::string_view text;
        std::uint32_t code;
    } rows[] = {
        {"abc", 0x616263},
        {"", 0},
        {"abcde", 0x62636465},
        {"ab\xC3\xA9", 0x6162C3A9},      // é counts with both of its UTF-8 bytes
        {"xyz\xE2\x82\xAC", 0x7AE282AC}, // € is three bytes; only the last four of the six remain
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(fourCharCode(row.text), row.code);
    }
}
