// A restore at status level 0 on a pseudo-terminal: the restore packet, then at once the
// port following the servo to 115200. The packet must reach the line every time, however
// late the far end reads it.
#include "PtyPair.h"
#include "catalogue/ModelCatalogue.h"
#include "servo/ServoProgram.h"

#include <gtest/gtest.h>

TEST(RestoreAtStatusLevel0, ThePacketLeavesBeforeTheRateChange)
{
    PtyPair pty;
    ModelCatalogue catalogue(testing::TempDir() + "/no-catalogue.log");
    ServoBus bus(std::make_unique<CZNComm>(), ServoBus::Threading::Caller);
    ASSERT_EQ(bus.Run(JobKind::Command, [&](BusAccess& access) { return access.Open(pty.path); }), 1);
    ServoProgram program(catalogue);
    ServoProfile silent;
    silent.statusLevel = 0;
    const std::vector<uint8_t> restore = {0xFF, 0xFF, 0x03, 0x02, 0x06, 0xF4};
    for (int run = 0; run < 20; ++run) {
        bus.Run(JobKind::Command, [](BusAccess& access) { access.SetRate(1000000); });
        program.SelectServo(3, ModelKey{}, silent);
        ASSERT_TRUE(bus.Run(JobKind::Command, [&](BusAccess& access) { return program.RestoreParameters(access); }));
        EXPECT_EQ(pty.SlaveRate(), 115200);
        // Read only now, after the rate change.
        EXPECT_EQ(pty.Receive(restore.size()), restore) << "run " << run;
    }
}
