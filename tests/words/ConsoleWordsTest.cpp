// servoctl's and the Python module's words for the core's facts: each fact has words of its own.
#include "words/ConsoleWords.h"

#include <gtest/gtest.h>

#include <set>

TEST(ConsoleWords, EveryFactHasWordsOfItsOwn)
{
    std::set<std::string> words;
    auto add = [&](const std::string& text) {
        EXPECT_FALSE(text.empty());
        EXPECT_TRUE(words.insert(text).second) << text;
    };
    for (const Fault fault : kFaults)
        add(FaultName(fault));
    for (int r = int(OpenError::None) + 1; r <= int(OpenError::Other); ++r)
        add(OpenErrorText(static_cast<OpenError>(r)));
    for (const RateControl control : {RateControl::Device, RateControl::Fixed, RateControl::Shared})
        add(RefusedRateText("rfc2217://bench:2000", {57600, 115200, control, {"servo-debugger", 42}}));
}

// The fault bits on one line and one a line, in the order every face names them.
TEST(ConsoleWords, FaultsInTheirOrder)
{
    struct Case {
        uint8_t status;
        const char* line;
        const char* lines;
    } cases[] = {
        {0x00, "舵机正常", "舵机正常"},
        {0x25, "过压/欠压 过热 过载", "过压/欠压\n过热\n过载"},
        {0x0A, "过流 传感器出错", "过流\n传感器出错"},
        {0x10, "舵机正常", "舵机正常"},
        {0xD0, "舵机正常", "舵机正常"},  // bits 4, 6 and 7 mean nothing
        {0x2F, "过压/欠压 过热 过流 过载 传感器出错", "过压/欠压\n过热\n过流\n过载\n传感器出错"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusText(c.status), c.line) << int(c.status);
        EXPECT_EQ(FaultLines(c.status), c.lines) << int(c.status);
    }
}
