// servoctl calibrate on the virtual bus: a whole robot in one command, and bad input.
#include "CtlFixture.h"

#include <cstdlib>
#include <unistd.h>

namespace {

constexpr int kTorque = 40, kPosition = 56;

class CalibrateCtl : public CtlFixture {
protected:
    void SetUp() override
    {
        CtlFixture::SetUp();
        // The backups go to the test's own data folder.
        data = std::filesystem::path(testing::TempDir()) / ("calibrate-ctl-" + std::to_string(::getpid()));
        std::filesystem::remove_all(data);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(data);
        CtlFixture::TearDown();
    }
    std::filesystem::path data;
};

TEST_F(CalibrateCtl, SixServosInOneCommandKeepTheirTorque)
{
    for (int id = 1; id <= 6; ++id)
        AddServo(id, id % 2 ? kKestrel : kOsprey);
    StartServing();
    for (int id = 2; id <= 6; id += 2)
        bus->SetMemory(static_cast<uint8_t>(id), kTorque, 1);
    for (int id = 1; id <= 6; ++id) {
        std::string error;
        ASSERT_TRUE(bus->TurnByHand(static_cast<uint8_t>(id), 500 * id, error) || id % 2 == 0) << error;
    }
    ASSERT_EQ(RunCtl({"calibrate", "middle", "1", "2", "3", "4", "5", "6"}), 0) << err.str();
    const auto lines = OutLines();
    ASSERT_EQ(lines.size(), 7u);  // the columns, then one row per ID
    for (int id = 1; id <= 6; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(lines[static_cast<size_t>(id)].rfind(std::to_string(id) + "\t", 0), 0u);
        const ServoMemory m = MemoryOf(id);
        EXPECT_EQ(m[kTorque], id % 2 ? 0 : 1);
        EXPECT_NEAR(m[kPosition] | m[kPosition + 1] << 8, 2048, 2);
    }
    // Each servo has its backup, and undo takes them all back.
    ASSERT_EQ(RunCtl({"calibrate", "undo", "1", "2", "3", "4", "5", "6"}), 0) << err.str();
    EXPECT_EQ(MemoryOf(5)[31], 0);
}

TEST_F(CalibrateCtl, BadInputIsNamedAndWritesNothing)
{
    AddServo(1, kKestrel);
    AddServo(7, kHeron);
    StartServing();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string said;
    } cases[] = {
        {{"calibrate", "middle", "1", "--to", "middle"}, 2, "--to"},
        {{"calibrate", "middle", "1", "1"}, 2, "named twice"},
        {{"calibrate", "middle", "1", "--to", "5000"}, 1, "servo 1: outside its position range 0..4095"},
        {{"calibrate", "middle", "7"}, 1, "servo 7: its model (苍鹭 HR25) has no writable row \"位置校正\""},
        {{"calibrate", "middle", "9"}, 1, "servo 9: no answer"},
        {{"calibrate", "travel", "1", "--duration", "0.2"}, 1, "servo 1: the joint moved 0 counts"},
        {{"calibrate", "undo", "1"}, 1, "servo 1: no calibration backup"},
        {{"calibrate", "travel", "1", "--duration", "-1"}, 2, "--duration"},
    };
    const ServoMemory before = MemoryOf(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(RunCtl(c.args), c.status);
        EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + 40, MemoryOf(1).begin()));
    }
}

}  // namespace
