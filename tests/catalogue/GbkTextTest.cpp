// The catalogue's GBK conversion, the same on every system (iconv here, code page 936 on
// Windows): valid text both ways, and each byte that starts no character marked once.
#include "catalogue/GbkText.h"

#include <gtest/gtest.h>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(GbkText, ConvertsBothWays)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Kestrel-12, 0x0D\r\n", "Kestrel-12, 0x0D\r\n"},
        {"\xB2\xD4\xF0\xD8 HR25", "苍鹭 HR25"},
        {"[\xC4\xDA\xB4\xE6]", "[内存]"},
        {"\x80", "€"},  // code page 936's one single-byte addition
    };
    for (const auto& [gbk, utf8] : cases) {
        EXPECT_EQ(GbkToUtf8(gbk), utf8) << utf8;
        EXPECT_EQ(Utf8ToGbk(utf8), gbk) << utf8;
    }
}

TEST(GbkText, MarksEachByteThatStartsNoCharacter)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\xFF\xFF", kFffd + kFffd},
        {"\x81\x20" "B", kFffd + " B"},       // a lead byte without its trail byte
        {"A\x81", "A" + kFffd},                // cut off at the end
        {"\xB2\xD4\xFF\xB2\xD4", "苍" + kFffd + "苍"},
        {std::string("\x00\xFF", 2), std::string("\x00", 1) + kFffd},
    };
    for (const auto& [gbk, utf8] : cases)
        EXPECT_EQ(GbkToUtf8(gbk), utf8);
}

}  // namespace
