// The step test on the virtual bus: the virtual servo's response follows its gains and load,
// and a sweep always puts the swept value and the torque switch back.
#include "BusFixture.h"
#include "servo/Identify.h"
#include "servo/ServoProgram.h"
#include "servo/StepTest.h"

#include <cmath>

namespace {

constexpr int kP = 21, kD = 22, kI = 23, kTorque = 40;

class StepSweep : public BusFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        StartBus();
    }
    SweepReport Sweep(std::vector<SweepAxis> axes, const StepCallbacks& callbacks = {})
    {
        ModelKey key{};
        const ServoMemory m = MemoryOf(1);
        std::copy_n(m.begin(), key.size(), key.begin());
        const Identity who = IdentityOf(*catalogue, key);
        ServoProgram program(*catalogue);
        program.SetSettleMs(0);
        program.SelectServo(1, key, who.profile);
        return jobs.Run(JobKind::Test, [&](BusAccess& access) {
            return RunStepSweep(access, program, {who.profile, who.debug}, settings, axes, callbacks, stop);
        });
    }
    // Each run's figure, in the order run.
    static std::vector<double> Figures(const SweepReport& r, double StepFigures::*figure)
    {
        std::vector<double> v;
        for (const StepRun& run : r.runs)
            v.push_back(run.figures.*figure);
        return v;
    }
    void ExpectRestored(const SweepReport& r, int address, int original)
    {
        EXPECT_TRUE(r.AllRestored());
        Settle();
        EXPECT_EQ(MemoryOf(1)[address], original);
        EXPECT_EQ(MemoryOf(1)[kTorque], 0);  // off before the sweep, off after it
    }

    ServoBus jobs{comm, ServoBus::Threading::Caller};
    std::atomic<bool> stop{false};
    StepSettings settings{1, 2047, 2247, std::chrono::milliseconds(600)};
};

TEST_F(StepSweep, GainsShapeTheResponse)
{
    // More D damps the overshoot; more P rises sooner. Three values each, strictly in order.
    const struct {
        int address;
        std::vector<int> values;
        double StepFigures::*figure;
    } cases[] = {{kD, {8, 32, 64}, &StepFigures::overshootPct}, {kP, {16, 32, 64}, &StepFigures::riseMs}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const SweepReport r = Sweep({{c.address, c.values}});
        ASSERT_EQ(r.end, StepEnd::Done);
        ASSERT_EQ(r.runs.size(), 3u);
        const auto v = Figures(r, c.figure);
        EXPECT_GT(v[0], v[1]);
        EXPECT_GT(v[1], v[2]);
        ExpectRestored(r, c.address, 32);
    }
}

TEST_F(StepSweep, IntegralRemovesTheLoadsError)
{
    bus->SetLoad(60);
    settings.duration = std::chrono::milliseconds(1200);
    const SweepReport r = Sweep({{kI, {0, 16}}});
    ASSERT_EQ(r.runs.size(), 2u);
    const StepFigures& without = r.runs[0].figures;
    const StepFigures& with = r.runs[1].figures;
    EXPECT_LT(without.steadyError, -without.band);  // held short of the target by the load
    EXPECT_FALSE(without.reached);
    EXPECT_LE(std::abs(with.steadyError), with.band);
    EXPECT_GE(with.peakLoad, 60);
    ExpectRestored(r, kI, 0);
}

TEST_F(StepSweep, RestoresHoweverItEnds)
{
    const struct {
        const char* name;
        std::vector<SweepAxis> axes;
        std::function<void(StepCallbacks&)> meddle;
        StepEnd end;
    } cases[] = {
        // The servo falls silent during the first run and is back for the restore.
        {"silent", {{kD, {8, 64}}},
         [&](StepCallbacks& c) {
             c.samples = [&](int, const std::vector<StepSample>&) { bus->SetDropShare(1); };
             c.runDone = [&](const StepRun&) { bus->SetDropShare(0); };
         },
         StepEnd::NoAnswer},
        // Stopped from another thread's flag during the first run.
        {"stopped", {{kD, {8, 64}}},
         [&](StepCallbacks& c) { c.samples = [&](int, const std::vector<StepSample>&) { stop = true; }; },
         StepEnd::Stopped},
        // An address the test drives itself is refused before anything is written.
        {"refused", {{kD, {8}}, {kTorque, {1}}}, [](StepCallbacks&) {}, StepEnd::Refused},
        {"out of range", {{kD, {8, 300}}}, [](StepCallbacks&) {}, StepEnd::Refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        stop = false;
        StepCallbacks callbacks;
        c.meddle(callbacks);
        const SweepReport r = Sweep(c.axes, callbacks);
        EXPECT_EQ(r.end, c.end);
        EXPECT_LE(r.runs.size(), 1u);
        ExpectRestored(r, kD, 32);
    }
}

}  // namespace
