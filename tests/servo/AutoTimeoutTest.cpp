// The automatic time-out: from the exchange, the rate and the adapter.
#include "servo/AutoTimeout.h"
#include "support/BaudRates.h"

#include <gtest/gtest.h>

namespace {

TEST(AutoTimeout, ScanAtEachRateOfTheBaudList)
{
    // (8 + 15) bytes * 10 bits at the rate, + 1 ms return delay + latency, rounded up.
    const int onPty[8] = {3, 3, 3, 4, 4, 5, 6, 8};
    const int onUnknownUsb[8] = {18, 18, 18, 19, 19, 20, 21, 23};
    for (size_t i = 0; i < kBaudRates.size(); ++i) {
        const int rate = kBaudRates[i];
        EXPECT_EQ(AutoTimeoutMs(kIdentifyExchange, rate, AdapterLatencyMs(-1, false)), onPty[i])
            << rate;
        EXPECT_EQ(AutoTimeoutMs(kIdentifyExchange, rate, AdapterLatencyMs(-1, true)),
                  onUnknownUsb[i]) << rate;
        // A USB adapter whose timer was set to 1 ms counts like any other port.
        EXPECT_EQ(AutoTimeoutMs(kIdentifyExchange, rate, AdapterLatencyMs(1, true)), onPty[i])
            << rate;
    }
    // The eight time-outs of an all-rates scan add up to 36 ms per ID.
    int sum = 0;
    for (const int ms : onPty)
        sum += ms;
    EXPECT_EQ(sum, 36);
}

TEST(AutoTimeout, RoundsUpOnlyWhatIsLeft)
{
    // 10 bytes at 1 Mbaud are 100 us: 2.1 ms becomes 3; 100 bytes at 1 Mbaud are exactly 1 ms.
    EXPECT_EQ(AutoTimeoutMs({5, 5}, 1000000, 1), 3);
    EXPECT_EQ(AutoTimeoutMs({50, 50}, 1000000, 1), 3);
    EXPECT_EQ(AutoTimeoutMs({50, 51}, 1000000, 1), 4);
    // The longest read at the slowest rate: 267 bytes at 38400 are 69.5 ms.
    EXPECT_EQ(AutoTimeoutMs({8, 6 + 253}, 38400, 1), 72);
    EXPECT_EQ(AdapterLatencyMs(4, false), 4);
}

TEST(AutoTimeout, NetworkPortsAllowForTheServer)
{
    // A local port adds its latency only; a network port its round trip rounded up and the
    // server's scheduling, however short the round trip measured at open.
    EXPECT_EQ(LinkDelayMs({1, true, 0}), 1);
    EXPECT_EQ(LinkDelayMs({-1, false, 12}), 1 + 1 + 10);
    EXPECT_EQ(LinkDelayMs({-1, false, 2500}), 1 + 3 + 10);
}

TEST(AutoTimeout, EachCommandCountsItsLongestExchange)
{
    struct Case {
        const char* what;
        Exchange exchange;
        int request, reply;
    } cases[] = {
        {"read 13", ReadExchange(13), 8, 19},
        {"read 253", ReadExchange(253), 8, 259},
        {"write 3", WriteExchange(3), 10, 15},  // the identification read's reply is longer
        {"write-word", WriteExchange(2), 9, 15},
        {"move", ServoCommandExchange(kPositionBlockBytes, false, 1), 14, 15},
        // FF FF FE LEN 83 ADDR 7, 3 x (ID + 7), CHK
        {"move sync", ServoCommandExchange(kPositionBlockBytes, true, 3), 32, 15},
        {"torque sync", ServoCommandExchange(kTorqueBlockBytes, true, 2), 12, 15},
        {"action", kActionExchange, 6, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.exchange.requestBytes, c.request) << c.what;
        EXPECT_EQ(c.exchange.replyBytes, c.reply) << c.what;
    }
}

}  // namespace
