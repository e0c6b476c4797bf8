// Network ports through a real ser2net on the loopback, against the same virtual bus opened
// directly. Two identical paced buses, one served and one opened as a device, so both ports
// stay open and their exchanges interleave one for one.
//   Exchange/RATE/QUICK: a 13-byte memory read; direct_us and network_us are medians, ratio
//                  is network over direct. QUICK 0: ser2net's defaults; 1: set up for short
//                  exchanges (chardelay off, nodelay on its accepter).
//   Scan254Auto/LOAD: IDs 0..253 with the automatic time-out over rfc2217://, with LOAD busy
//                  threads beside it; found counts the servos listed (3 are there).
#include "BenchSmoke.h"
#include "../tests/common/Ser2Net.h"
#include "catalogue/ModelCatalogue.h"
#include "protocol/ZNS.h"
#include "serial/CZNComm.h"
#include "serial/NetworkPort.h"
#include "servo/AutoTimeout.h"
#include "servo/Scan.h"
#include "sim/VirtualBus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

const std::string kCatalogue = SERVO_SOURCE_DIR "/data/setup.log";

// A paced bus with servos 1, 2 and 3: 1 and 2 at 115200, 3 at 1000000.
std::unique_ptr<VirtualBus> PacedBus(ModelCatalogue& catalogue, std::string& error)
{
    auto bus = std::make_unique<VirtualBus>(catalogue);
    for (const auto& [id, code] : {std::pair{1, 4}, std::pair{2, 4}, std::pair{3, 0}}) {
        ServoSpec spec;
        spec.id = id;
        spec.model = "Kestrel-12";
        spec.baudCode = code;
        if (!bus->AddServo(spec, error))
            return nullptr;
    }
    bus->SetPacing(true);
    return bus->Start(error) ? std::move(bus) : nullptr;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Exchange(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const bool quick = state.range(1) != 0;
    const uint8_t id = rate == 1000000 ? 3 : 1;
    ModelCatalogue catalogue(kCatalogue);
    std::string error;
    auto served = PacedBus(catalogue, error);
    auto direct = PacedBus(catalogue, error);
    if (!served || !direct) {
        state.SkipWithError(error.c_str());
        return;
    }
    Ser2Net server(served->DevicePath());
    if (quick)
        server.ForShortExchanges();
    if (!server.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    CZNComm local;
    std::unique_ptr<Port> network = MakeNetworkPort();
    if (!local.Open(direct->DevicePath()) || !network->Open(server.Rfc2217())) {
        state.SkipWithError("a port did not open");
        return;
    }
    local.SetBaudRate(rate);
    network->SetBaudRate(rate);
    ZNS near(local), far(*network);
    uint8_t data[13];
    std::vector<double> directUs, networkUs;
    auto timed = [&](ZNS& servo, std::vector<double>& into) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = servo.ReadMemory(id, 56, data, sizeof data).ok();
        into.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        return ok;
    };
    for (auto _ : state) {
        if (!timed(near, directUs) || !timed(far, networkUs)) {
            state.SkipWithError("an exchange went unanswered");
            return;
        }
    }
    const double d = Median(directUs), n = Median(networkUs);
    state.counters["direct_us"] = d;
    state.counters["network_us"] = n;
    state.counters["ratio"] = d > 0 ? n / d : 0;
    state.counters["roundtrip_us"] = network->Timing().roundTripUs;
}
BENCHMARK(Exchange)->ArgsProduct({{115200, 1000000}, {0, 1}})->Iterations(SmokeScaled(1000, 20))->UseRealTime();

void Scan254Auto(benchmark::State& state)
{
    ModelCatalogue catalogue(kCatalogue);
    std::string error;
    auto bus = PacedBus(catalogue, error);
    if (!bus) {
        state.SkipWithError(error.c_str());
        return;
    }
    Ser2Net server(bus->DevicePath());
    if (!server.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::unique_ptr<Port> port = MakeNetworkPort();
    if (!port->Open(server.Rfc2217())) {
        state.SkipWithError("the network port did not open");
        return;
    }
    port->SetTimeoutMs(AutoTimeoutMs(kIdentifyExchange, 115200, port->Timing()));
    port->SetBaudRate(115200);
    ZNS servo(*port);
    std::atomic<bool> loaded{true};
    std::vector<std::thread> load;
    for (int i = 0; i < state.range(0); ++i)
        load.emplace_back([&] {
            volatile unsigned spin = 0;
            while (loaded.load(std::memory_order_relaxed))
                spin = spin + 1;
        });
    int found = 0;
    for (auto _ : state) {
        found = 0;
        ScanReports reports;
        reports.found = [&](int, const Identity&) { ++found; };
        ScanBus(servo, catalogue, 0, SmokeRun() ? 20 : 253, reports, true);
    }
    loaded = false;
    for (auto& t : load)
        t.join();
    state.counters["found"] = found;  // servos 1 and 2 answer at 115200
    state.counters["timeout_ms"] = port->TimeoutMs();
}
BENCHMARK(Scan254Auto)->Arg(0)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
