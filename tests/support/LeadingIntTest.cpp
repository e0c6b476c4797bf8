#include "support/LeadingInt.h"

#include <gtest/gtest.h>

TEST(LeadingInt, ReadsTheLeadingDecimalLikeC)
{
    const std::pair<const char*, int> cases[] = {
        {"", 0},          {"abc", 0},       {"0x10", 0},       {"12abc", 12},
        {"  42", 42},     {"\t-7", -7},     {"+9", 9},         {"-", 0},
        {"--5", 0},       {"- 5", 0},       {"300", 300},      {"2147483647", 2147483647},
        {"99999999999", 2147483647},        {"-99999999999", -2147483647 - 1},
        {"1 2", 1},       {"007", 7},       {"\n\r\v\f 3", 3},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(LeadingInt(text), value) << '"' << text << '"';
}
