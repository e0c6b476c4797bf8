// The step test's capture against a bare loop of the same read: samples a second of the
// step's back-to-back reads (RunStepSweep, one run, figures and all) and of a loop that does
// nothing but ReadMemory of the same feedback block, on the same line, to the same virtual
// servo. The two take turns within each round, so a busy moment of the machine falls on both;
// the figures are the medians over rounds, and the median of the rounds' ratios. Argument: 1 paces the line at
// 1 Mbaud (each answer held for its wire time, as a real line would), 0 leaves the
// pseudo-terminal unpaced (the software's own cost shows).
#include "BenchSmoke.h"
#include "CatalogueCopy.h"
#include "bus/ServoBus.h"
#include "servo/FeedbackCapture.h"
#include "servo/Identify.h"
#include "servo/ServoProgram.h"
#include "servo/StepTest.h"
#include "sim/VirtualBus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void StepAgainstBareReads(benchmark::State& state)
{
    const bool paced = state.range(0) != 0;
    const auto length = std::chrono::milliseconds(SmokeScaled(500, 100));
    const std::string file = CatalogueCopy("bench-step");
    ModelCatalogue catalogue(file);
    VirtualBus sim(catalogue);
    ServoSpec spec;
    spec.id = 1;
    spec.model = "Kestrel-12";
    spec.baudCode = 0;
    sim.SetPacing(paced, 20);
    sim.KeepLogLines(false);
    std::string error;
    if (!sim.AddServo(spec, error) || !sim.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    ServoBus bus;
    Identity who;
    const bool identified = bus.Run(JobKind::Command, [&](BusAccess& access) {
        access.Open(sim.DevicePath());
        access.SetRate(1000000);
        access.SetTimeoutMs(100);
        return IdentifyServo(access.protocol, catalogue, 1, {}, who, true).ok();
    });
    if (!identified) {
        state.SkipWithError("the virtual servo did not answer");
        return;
    }
    ServoProgram program(catalogue);
    program.SelectServo(1, who.key, who.profile);
    const DebugTarget target{who.profile, who.debug};
    const FeedbackRange range = CaptureRange(target.debug, CaptureBlock::Full);
    const std::atomic<bool> stop{false};

    auto bare = [&] {
        return bus.Run(JobKind::Test, [&](BusAccess& access) {
            FeedbackBlock block{};
            long long answered = 0;
            const auto end = Clock::now() + length;
            while (Clock::now() < end)
                answered += access.protocol.ReadMemory(1, range.address, block.data(), range.count).ok();
            return static_cast<double>(answered);
        });
    };
    int round = 0;
    auto step = [&] {
        StepSettings settings;
        settings.id = 1;
        settings.to = round % 2 ? 2047 : 2247;
        settings.duration = length;
        const SweepReport r = bus.Run(JobKind::Test, [&](BusAccess& access) {
            return RunStepSweep(access, program, target, settings, {}, {}, stop);
        });
        if (r.runs.empty())
            return 0.0;
        return static_cast<double>(std::count_if(r.runs[0].samples.begin(), r.runs[0].samples.end(),
                                                 [](const StepSample& s) { return s.answered; }));
    };
    std::vector<double> bareRates, stepRates;
    const double seconds = std::chrono::duration<double>(length).count();
    for (auto _ : state) {
        // Turns: the loop that goes first alternates from round to round.
        if (round % 2) {
            stepRates.push_back(step() / seconds);
            bareRates.push_back(bare() / seconds);
        } else {
            bareRates.push_back(bare() / seconds);
            stepRates.push_back(step() / seconds);
        }
        ++round;
    }
    // The ratio of each round's pair, then their median: a round that the machine slowed
    // down slows both of its loops.
    std::vector<double> ratios;
    for (size_t i = 0; i < bareRates.size(); ++i)
        ratios.push_back(bareRates[i] > 0 ? stepRates[i] / bareRates[i] : 0);
    state.counters["bare_per_s"] = Median(bareRates);
    state.counters["step_per_s"] = Median(stepRates);
    state.counters["ratio"] = Median(ratios);
    bus.Shutdown();
    sim.Stop();
    std::filesystem::remove(file);
}

}  // namespace

BENCHMARK(StepAgainstBareReads)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(SmokeScaled(9, 1))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
