// Calibrating six joints at 1 Mbaud on the paced virtual bus: the middle of all six in one
// call (goal: under 3 s), and the travel's readings a second per joint while six are recorded
// (goal: 50 or more). Each round turns the joints by hand elsewhere first, so every middle
// writes; the figures are medians over the rounds.
#include "BenchSmoke.h"
#include "CatalogueCopy.h"
#include "bus/ServoBus.h"
#include "servo/Calibration.h"
#include "sim/VirtualBus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>

namespace {

using Clock = std::chrono::steady_clock;
const std::vector<uint8_t> kIds = {1, 2, 3, 4, 5, 6};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Six servos at 1 Mbaud, paced, and the bus open on them.
struct Robot {
    explicit Robot(benchmark::State& state) : file(CatalogueCopy("bench-calibration")), catalogue(file), sim(catalogue)
    {
        folder = std::filesystem::temp_directory_path() / ("bench-calibration-" + std::to_string(Clock::now().time_since_epoch().count()));
        options.backupFolder = folder.string();
        sim.SetPacing(true, 20);
        sim.KeepLogLines(false);
        std::string error;
        for (const uint8_t id : kIds) {
            ServoSpec spec;
            spec.id = id;
            spec.model = "Kestrel-12";
            spec.baudCode = 0;
            if (!sim.AddServo(spec, error))
                break;
        }
        if (!error.empty() || !sim.Start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        ok = bus.Run(JobKind::Command, [&](BusAccess& a) {
            a.Open(sim.DevicePath());
            a.SetRate(1000000);
            a.SetTimeoutMs(100);
            return a.Facts().Open();
        });
        if (!ok)
            state.SkipWithError("the port did not open");
    }
    ~Robot()
    {
        bus.Shutdown();
        sim.Stop();
        std::filesystem::remove_all(folder);
        std::filesystem::remove(file);
    }
    void TurnAll(int round)
    {
        std::string error;
        for (const uint8_t id : kIds)
            sim.TurnByHand(id, 1000 + 97 * round + 13 * id, error);
    }

    std::string file;
    ModelCatalogue catalogue;
    VirtualBus sim;
    ServoBus bus;
    ServoProgram program{bus, catalogue};
    std::filesystem::path folder;
    CalibrationOptions options;
    bool ok = false;
};

void MiddleOfSix(benchmark::State& state)
{
    Robot robot(state);
    if (!robot.ok)
        return;
    std::vector<double> seconds;
    int round = 0, failed = 0;
    for (auto _ : state) {
        robot.TurnAll(round++);
        const auto start = Clock::now();
        const auto results = robot.bus.Run(JobKind::Command, [&](BusAccess& a) {
            return CalibrateMiddle(a, robot.program, robot.catalogue, kIds, robot.options);
        });
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        failed += static_cast<int>(std::count_if(results.begin(), results.end(),
                                                 [](const CalibrationResult& r) { return !r.Ok(); }));
    }
    if (failed > 0)
        state.SkipWithError("a servo was not calibrated");
    state.counters["six_middles_s"] = Median(seconds);
}

void TravelReadings(benchmark::State& state)
{
    Robot robot(state);
    if (!robot.ok)
        return;
    const auto length = std::chrono::milliseconds(SmokeScaled(1000, 200));
    std::vector<double> rates;
    for (auto _ : state) {
        long long rounds = 0;
        const std::atomic<bool> stop{false};
        const auto start = Clock::now();
        robot.bus.Run(JobKind::Test, [&](BusAccess& a) {
            return RecordTravel(a, robot.program, robot.catalogue, kIds, length, stop,
                                [&](const std::vector<std::optional<int>>& readings) {
                                    rounds += std::all_of(readings.begin(), readings.end(),
                                                          [](const auto& r) { return r.has_value(); });
                                });
        });
        rates.push_back(static_cast<double>(rounds) / std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["readings_per_s_per_joint"] = Median(rates);
}

}  // namespace

BENCHMARK(MiddleOfSix)->Iterations(SmokeScaled(9, 1))->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(TravelReadings)->Iterations(SmokeScaled(5, 1))->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
