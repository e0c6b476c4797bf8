// The bus owner's link statistics against servo-sim's own tally of what each servo heard and
// did, on a bus with faults on two of its servos.
#include "ChildProcess.h"
#include "bus/ServoBus.h"
#include "sim/ServoFault.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(LinkTally, CountsMatchTheVirtualBus)
{
    ChildProcess sim({SERVO_SIM, "--catalogue", SERVO_SOURCE_DIR "/data/setup.log", "--servo", "1:Kestrel-12",
                      "--servo", "2:Kestrel-12", "--servo", "3:Osprey-40H", "--servo", "4:Kestrel-12",
                      "--fault", "2:drop=0.3", "--fault", "3:corrupt=0.4", "--fault", "3:drop=0.1"});
    ASSERT_TRUE(sim.Says("\n")) << sim.Err();
    const std::string device = sim.Out().substr(0, sim.Out().find('\n'));
    constexpr int kRounds = 60;
    IdLinkStats seen[5];
    {
        ServoBus bus;
        ASSERT_EQ(bus.Run(JobKind::Command, [&](BusAccess& access) {
            access.SetTimeoutMs(30);
            const int opened = access.Open(device);
            access.SetRate(115200);
            return opened;
        }), 1);
        for (int round = 0; round < kRounds; ++round)
            for (uint8_t id = 1; id <= 4; ++id)
                bus.Run(JobKind::Poll, [&](BusAccess& access) {
                    uint8_t data[8];
                    access.protocol.ReadMemory(id, 56, data, sizeof data);
                });
        for (uint8_t id = 1; id <= 4; ++id)
            seen[id] = bus.Link().Of(id);
        const BusLinkStats b = bus.Link().Bus();
        EXPECT_EQ(b.sinceStart.exchanges, 4u * kRounds);
        EXPECT_EQ(b.sinceStart.bytesOut, 4u * kRounds * 8);
        EXPECT_GT(b.sinceStart.BusyShare(), 0);
    }
    sim.Signal(SIGTERM);
    ASSERT_EQ(sim.Wait(), 0);
    const std::regex line("servo ([0-9]+): heard ([0-9]+), answered ([0-9]+), dropped ([0-9]+), corrupted ([0-9]+)");
    int lines = 0;
    const std::string err = sim.Err();
    for (std::sregex_iterator m(err.begin(), err.end(), line), end; m != end; ++m, ++lines) {
        const IdLinkStats& s = seen[std::stoi((*m)[1])];
        SCOPED_TRACE((*m)[0].str());
        EXPECT_EQ(s.requests, std::stoull((*m)[2]));
        EXPECT_EQ(s.answered, std::stoull((*m)[3]));
        EXPECT_EQ(s.timeouts, std::stoull((*m)[4]));
        EXPECT_EQ(s.checksumErrors + s.malformed, std::stoull((*m)[5]));
        EXPECT_EQ(s.requests, static_cast<uint64_t>(kRounds));
        EXPECT_GE(s.LatencyPercentileUs(0.99), s.LatencyPercentileUs(0.5));
        EXPECT_LE(s.LatencyPercentileUs(0.99), s.latencyMaxUs);
    }
    EXPECT_EQ(lines, 4) << err;
    // The faulty servos show their faults; the others none.
    EXPECT_GT(seen[2].timeouts, 0u);
    EXPECT_GT(seen[3].checksumErrors + seen[3].malformed, 0u);
    EXPECT_EQ(seen[1].answered + seen[4].answered, 2u * kRounds);
}

TEST(LinkTally, BadFaultsAreRefused)
{
    std::vector<ServoFaultSpec> faults;
    std::string error;
    for (const char* bad : {"2:drop", "2:drop=1.5", "254:drop=0.1", "x:drop=0.1", "2:lose=0.1", "2:drop=0.1x"})
        EXPECT_FALSE(ParseServoFault(bad, faults, error)) << bad;
    EXPECT_TRUE(faults.empty());
    ASSERT_TRUE(ParseServoFault("2:drop=0.25", faults, error));
    ASSERT_TRUE(ParseServoFault("2:corrupt=1", faults, error));
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].drop, 0.25);
    EXPECT_EQ(faults[0].corrupt, 1.0);
}

}  // namespace
