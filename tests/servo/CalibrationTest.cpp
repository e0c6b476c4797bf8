// Calibration on the virtual bus: the middle whatever way the correction counts, the travel
// across the seam, refusals that write nothing, dry runs, and undo byte for byte.
#include "BusFixture.h"
#include "servo/Calibration.h"

#include <unistd.h>

namespace {

constexpr int kPosition = 56, kCorrection = 31, kMinLimit = 9, kMaxLimit = 11, kEpromEnd = 40;

class Calibration : public BusFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::path(testing::TempDir()) /
                 ("calibration-" + std::to_string(::getpid()) + "-" + test->name());
        std::filesystem::remove_all(folder);
        options.backupFolder = folder.string();
        options.consent = [](const CalibrationResult&) { return true; };
        program = std::make_unique<ServoProgram>(jobs, *catalogue);
        program->SetSettleMs(0);
        AddServo(1, kKestrel);
        StartBus();
    }
    void TearDown() override
    {
        std::filesystem::remove_all(folder);
        BusFixture::TearDown();
    }
    int Word(int address) const
    {
        const ServoMemory m = MemoryOf(1);
        const int w = m[static_cast<size_t>(address)] | m[static_cast<size_t>(address) + 1] << 8;
        return w & 0x800 && address == kCorrection ? -(w & 0x7FF) : w & 0x7FFF;
    }
    void Hand(int mechanical)
    {
        std::string error;
        ASSERT_TRUE(bus->TurnByHand(1, mechanical, error)) << error;
    }
    CalibrationResult Middle()
    {
        return jobs.Run(JobKind::Command, [&](BusAccess& a) {
            return CalibrateMiddle(a, *program, *catalogue, {1}, options);
        }).at(0);
    }
    // The joint turned through `hands` (mechanical positions), each one once the recording has
    // read it, the recording stopped after the last.
    CalibrationResult Travel(std::vector<int> hands)
    {
        Hand(hands.front());
        size_t next = 1;
        std::atomic<bool> stop{false};
        return jobs.Run(JobKind::Test, [&](BusAccess& a) {
            return CalibrateTravel(a, *program, *catalogue, {1}, std::chrono::milliseconds(0), stop, options,
                                   [&](const std::vector<std::optional<int>>&) {
                                       if (next == hands.size())
                                           stop = true;
                                       else
                                           Hand(hands[next++]);
                                   });
        }).at(0);
    }
    bool AnyWrite() const
    {
        for (const std::string& line : Sent())
            if (line.size() > 14 && line.substr(12, 2) == "03")
                return true;
        return false;
    }
    std::vector<uint8_t> Eprom() const
    {
        const ServoMemory m = MemoryOf(1);
        return {m.begin(), m.begin() + kEpromEnd};
    }

    std::filesystem::path folder;
    CalibrationOptions options;
    ServoBus jobs{comm, ServoBus::Threading::Caller};
    std::unique_ptr<ServoProgram> program;
};

TEST_F(Calibration, TravelAcrossTheSeamGetsLimitsThatHoldItWithTheSeamOutside)
{
    const CalibrationResult r = Travel({3900, 4000, 4095, 0, 100, 200});
    ASSERT_EQ(r.end, CalibrationEnd::Done);
    EXPECT_TRUE(r.crossesSeam);
    EXPECT_EQ(Word(kMinLimit), r.newLow);
    EXPECT_EQ(Word(kMaxLimit), r.newHigh);
    EXPECT_EQ(Word(kCorrection), r.newCorrection);
    // Along the whole travel the reading rises without a jump and stays within the limits.
    int previous = -1;
    for (int m = 3900; m <= 4096 + 200; m += 25) {
        Hand(m % 4096);
        const int reading = Word(kPosition);
        EXPECT_GE(reading, r.newLow) << m;
        EXPECT_LE(reading, r.newHigh) << m;
        EXPECT_GT(reading, previous) << m;
        previous = reading;
    }
}

TEST_F(Calibration, MiddleFindsTheCorrectionsSenseByMeasurement)
{
    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed);
        if (reversed)
            bus->ReverseCorrection(1);
        Hand(1000);
        const CalibrationResult r = Middle();
        ASSERT_EQ(r.end, CalibrationEnd::Done);
        EXPECT_EQ(r.reversed, reversed);
        EXPECT_NEAR(Word(kPosition), 2048, kMiddleTolerance);
        EXPECT_EQ(Word(kCorrection), r.newCorrection);
    }
}

TEST_F(Calibration, CorrectionOutOfRangeIsRefusedUnwrittenAndTheAdviceWorks)
{
    Hand(0);  // half a turn from the middle: a correction of 2048 each way
    bus->ClearLog();
    const CalibrationResult r = Middle();
    EXPECT_EQ(r.end, CalibrationEnd::CorrectionOutOfRange);
    EXPECT_FALSE(AnyWrite());
    EXPECT_FALSE(std::filesystem::exists(folder) && !std::filesystem::is_empty(folder));
    Hand(r.turnTo);
    EXPECT_EQ(Middle().end, CalibrationEnd::Done);
}

TEST_F(Calibration, DryRunsWriteNothing)
{
    options.dryRun = true;
    const auto before = Eprom();
    bus->ClearLog();
    Hand(1000);
    const CalibrationResult middle = Middle();
    EXPECT_EQ(middle.end, CalibrationEnd::Done);
    EXPECT_EQ(middle.newCorrection, -1048);
    const CalibrationResult travel = Travel({3900, 4095, 200});
    EXPECT_EQ(travel.end, CalibrationEnd::Done);
    EXPECT_TRUE(travel.crossesSeam);
    EXPECT_FALSE(AnyWrite());
    EXPECT_EQ(Eprom(), before);
}

TEST_F(Calibration, UndoGoesBackOneCalibrationAtATimeByteForByte)
{
    const auto factory = Eprom();
    Hand(1000);
    ASSERT_EQ(Middle().end, CalibrationEnd::Done);
    const auto afterMiddle = Eprom();
    ASSERT_EQ(Travel({1500, 1700, 2600}).end, CalibrationEnd::Done);
    ASSERT_NE(Eprom(), afterMiddle);
    for (const auto& expected : {afterMiddle, factory}) {
        const auto undone = jobs.Run(JobKind::Command, [&](BusAccess& a) {
            return UndoCalibration(a, *program, *catalogue, {1}, folder.string());
        });
        ASSERT_EQ(undone.at(0).end, CalibrationEnd::Done);
        EXPECT_EQ(Eprom(), expected);
    }
}

}  // namespace
