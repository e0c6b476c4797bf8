// servoctl pose, play and go on the virtual bus: teaching into a file, playing it back as sync
// writes, SIGINT stopping as --release says, and bad input refused with nothing moved.
#include "ChildProcess.h"
#include "CtlFixture.h"
#include "WaitFor.h"
#include "servo/MotionFile.h"

#include <csignal>
#include <filesystem>
#include <fstream>

namespace {

constexpr int kTorque = 40;

class MotionCtl : public CtlFixture {
protected:
    void SetUp() override
    {
        CtlFixture::SetUp();
        AddServo(1, kKestrel);
        AddServo(3, kOsprey);
        StartServing();
        file = std::filesystem::temp_directory_path() / ("motion-" + std::to_string(::getpid()) + ".json");
    }
    void TearDown() override
    {
        std::filesystem::remove(file);
        CtlFixture::TearDown();
    }
    void Write(const std::string& text) const { std::ofstream(file) << text; }
    // Packets heard whose instruction is `instruction` (the fifth byte).
    int Heard(const std::string& instruction) const
    {
        int n = 0;
        for (const std::string& line : Sent())
            n += line.substr(12, 2) == instruction;
        return n;
    }
    std::filesystem::path file;
};

TEST_F(MotionCtl, TeachesPosesAndPlaysThemBack)
{
    ASSERT_EQ(RunCtl({"pose", "1", "3", "--out", file.string()}), 0) << err.str();
    EXPECT_EQ(out.str(), "1 2047\n3 2047\nkeyframe 1 of " + file.string() + "\n");
    // Posed by hand, the torque off.
    std::string turned;
    ASSERT_TRUE(bus->TurnByHand(1, 2300, turned)) << turned;
    ASSERT_TRUE(bus->TurnByHand(3, 1700, turned)) << turned;
    NextStep();
    ASSERT_EQ(RunCtl({"pose", "1", "3", "--out", file.string(), "--time", "300"}), 0) << err.str();
    EXPECT_EQ(OutLines().at(0), "1 2300");
    EXPECT_EQ(OutLines().at(1), "3 1700");
    Motion motion;
    MotionFileError error;
    ASSERT_TRUE(LoadMotion(file.string(), motion, error)) << error.Text();
    ASSERT_EQ(motion.keyframes.size(), 2u);
    EXPECT_EQ(motion.keyframes[1].timeMs, 300);
    bus->ClearLog();
    ASSERT_EQ(RunCtl({"play", file.string(), "--speed", "2", "--rate", "100"}), 0) << err.str();
    Settle();
    EXPECT_GT(Heard("83"), 20);
    EXPECT_EQ(Heard("03"), 0);  // nothing but sync writes and the reads
    EXPECT_EQ(MemoryOf(1)[kTorque], 1);
    WaitFor([&] { const auto m = MemoryOf(3); return std::abs((m[56] | m[57] << 8) - 1700) < 20; }, "keyframe 2");
    ASSERT_EQ(RunCtl({"go", file.string(), "--keyframe", "1"}), 0) << err.str();
    WaitFor([&] { const auto m = MemoryOf(1); return std::abs((m[56] | m[57] << 8) - 2047) < 20; }, "keyframe 1");
}

TEST_F(MotionCtl, BadInputMovesNothing)
{
    const std::string good = R"({"version": 1, "keyframes": [{"pose": {"1": 2000}, "time_ms": 100}]})";
    const struct {
        std::string text;
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {good, {"--rate", "0"}, 2, "--rate must be 1..200"},
        {good, {"--rate", "201"}, 2, "--rate"},
        {good, {"--speed", "0.05"}, 2, "--speed must be 0.1..5"},
        {good, {"--speed", "fast"}, 2, "--speed"},
        {"{\"version\": 1,\n \"keyframes\": [}", {}, 2, "line 2, column 16: not JSON"},
        {R"({"version": 9, "keyframes": []})", {}, 2, "version: the file is of version 9"},
        {R"({"version": 1, "keyframes": [{"pose": {"1": 2000}, "time_ms": 0}]})", {}, 2, "keyframes[0].time_ms"},
        {R"({"version": 1, "keyframes": [{"pose": {"1": 2000}}]})", {}, 2, "keyframes[0].time_ms: missing"},
        {R"({"version": 1, "keyframes": [{"pose": {"1": 2000, "7": 1}, "time_ms": 50}]})", {}, 1, "servo 7: no answer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        Write(c.text);
        bus->ClearLog();
        std::vector<std::string> args = {"play", file.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(RunCtl(args), c.status);
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        Settle();
        EXPECT_EQ(Heard("83") + Heard("03"), 0);
    }
}

TEST_F(MotionCtl, SigintStopsAsReleaseSays)
{
    Write(R"({"version": 1, "keyframes": [{"pose": {"1": 1800, "3": 2200}, "time_ms": 200},
             {"pose": {"1": 2200, "3": 1800}, "time_ms": 200}]})");
    for (const bool release : {false, true}) {
        std::vector<std::string> args = {SERVOCTL, "-p", bus->DevicePath(), "-t", "50", "--catalogue",
                                         catalogueFile, "play", file.string(), "--loop", "0"};
        if (release)
            args.push_back("--release");
        bus->ClearLog();
        ChildProcess ctl(args);
        ASSERT_TRUE(::WaitFor([&] { return Heard("83") >= 5; }));
        ctl.Signal(SIGINT);
        EXPECT_EQ(ctl.Wait().value_or(-1), 130) << ctl.Err();
        EXPECT_TRUE(ctl.Says(release ? "torque off" : "holding"));
        Settle();
        for (int id : {1, 3})
            EXPECT_EQ(MemoryOf(id)[kTorque], release ? 0 : 1);
    }
}

}  // namespace
