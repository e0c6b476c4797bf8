// servoctl's and the Python module's words for the core's facts: each fact has words of its own.
#include "servo/ConsoleWords.h"

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
