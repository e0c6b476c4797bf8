// One 13-byte read through a shared bus against the same read on the owner's own bus, on
// the virtual bus pacing each byte at 1 Mbaud. The owner holds the port with a ServoBus and
// shares it (BusShare); the client opens the same name with a ServoBus of its own and so
// attaches, each of its reads going to the owner as one exchange over the local endpoint and
// run there as a job. Turns of the two alternate, the first changing from round to round;
// reported are the medians over rounds and the median of each round's ratio.
#include "BenchSmoke.h"
#include "CatalogueCopy.h"
#include "bus/ServoBus.h"
#include "bus/BusShare.h"
#include "sim/VirtualBus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 1000000;
constexpr uint8_t kAddress = 56;
constexpr uint8_t kCount = 13;
const int kExchangesPerTurn = SmokeScaled(100, 5);
const int kRounds = SmokeScaled(30, 2);

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

// The median µs of one read over a turn; negative when one failed.
double Turn(ServoBus& bus)
{
    std::vector<double> us;
    for (int i = 0; i < kExchangesPerTurn; ++i) {
        const auto start = Clock::now();
        const bool ok = bus.Run(JobKind::Command, [](BusAccess& access) {
            uint8_t data[kCount];
            return access.protocol.ReadMemory(1, kAddress, data, kCount).ok();
        });
        if (!ok)
            return -1;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return Median(std::move(us));
}

bool OpenAt(ServoBus& bus, const std::string& name)
{
    return bus.Run(JobKind::Command, [&](BusAccess& access) {
        access.SetTimeoutMs(100);
        return access.Open(name) && (access.SetRate(kRate), access.Facts().Rate() == kRate);
    });
}

void SharedAgainstOwnRead(benchmark::State& state)
{
    const std::string catalogueFile = CatalogueCopy("share-bench");
    {
        ModelCatalogue catalogue(catalogueFile);
        VirtualBus line(catalogue);
        ServoSpec spec;
        spec.id = 1;
        spec.model = "Kestrel-12";
        spec.baudCode = 0;
        std::string error;
        if (!line.AddServo(spec, error) || !line.Start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        line.SetPacing(true, 20);
        ServoBus owner, client;
        std::unique_ptr<BusShare> share;
        if (OpenAt(owner, line.DevicePath()))
            share = std::make_unique<BusShare>(owner, line.DevicePath(), "bench");
        if (!share || !share->Serving() || !OpenAt(client, line.DevicePath()) ||
            !client.Facts().SharedBy()) {
            state.SkipWithError(share ? ("not shared: " + share->Problem()).c_str() : "no port");
            return;
        }
        ServoBus* buses[2] = {&owner, &client};
        std::vector<double> us[2], ratios;
        int round = 0;
        for (auto _ : state) {
            double turn[2];
            for (int k = 0; k < 2; ++k) {
                const int which = (round + k) % 2;
                turn[which] = Turn(*buses[which]);
                if (turn[which] < 0) {
                    state.SkipWithError(which ? "shared read failed" : "own read failed");
                    return;
                }
                us[which].push_back(turn[which]);
            }
            ratios.push_back(turn[1] / turn[0]);
            ++round;
        }
        state.counters["own_us"] = Median(us[0]);
        state.counters["shared_us"] = Median(us[1]);
        state.counters["ratio"] = Median(us[1]) / Median(us[0]);
        state.counters["ratio_of_rounds"] = Median(ratios);
        client.Run(JobKind::Command, [](BusAccess& access) { access.Close(); });
        owner.Run(JobKind::Command, [&](BusAccess& access) {
            share.reset();
            access.Close();
        });
    }
    std::filesystem::remove(catalogueFile);
}

BENCHMARK(SharedAgainstOwnRead)->Iterations(kRounds)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
