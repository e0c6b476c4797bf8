// servo-sim's standard input: "hand ID POSITION" turns a shaft by hand; anything else, an
// unknown ID, a position outside the range or a servo holding with its torque on is told on
// stderr and changes nothing.
#include "ChildProcess.h"
#include "WaitFor.h"
#include "cli/ServoCtl.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <sstream>

namespace {

TEST(ServoSimHand, TurnsByHandAndRefusesWhatItCantUse)
{
    const std::string fifo = testing::TempDir() + "/hand-" + std::to_string(::getpid());
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ChildProcess sim({"/bin/sh", "-c",
                      "exec " SERVO_SIM " --catalogue " SERVO_SOURCE_DIR "/data/setup.log --servo 1:Kestrel-12 < " + fifo});
    const int in = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(in, 0);
    ASSERT_TRUE(sim.Says("/dev/pts/"));
    const std::string device = sim.Out().substr(0, sim.Out().find('\n'));
    auto ctl = [&](std::vector<std::string> args) {
        std::vector<std::string> full = {"servoctl", "-p", device, "--catalogue", SERVO_SOURCE_DIR "/data/setup.log"};
        full.insert(full.end(), args.begin(), args.end());
        std::ostringstream out, err;
        RunServoCtl(full, out, err);
        return out.str();
    };
    auto say = [&](const std::string& line) { return ::write(in, line.data(), line.size()) == static_cast<ssize_t>(line.size()); };

    ASSERT_TRUE(say("hand 9 100\nbogus\nhand 1 x\nhand 1 4096\n\nhand 1 3900\n"));
    EXPECT_TRUE(WaitFor([&] { return ctl({"read", "1", "56", "2"}) == "3C 0F\n"; }));  // 3900
    ctl({"torque", "1", "on"});
    ASSERT_TRUE(say("hand 1 100\n"));
    EXPECT_TRUE(WaitFor([&] { return sim.Err().find("torque is on") != std::string::npos; }));
    for (const char* said : {"no servo 9", "not understood: \"bogus\"", "not \"x\"", "4096 is outside 0..4095"})
        EXPECT_NE(sim.Err().find(said), std::string::npos) << said << "\n" << sim.Err();
    ::close(in);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    ::unlink(fifo.c_str());
}

}  // namespace
