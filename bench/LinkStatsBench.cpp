// The /metrics page's making for 32 servos; then the link statistics' cost: a 13-byte memory read through the bus owner (ServoBus::Run, as
// servoctl and the Python module make it) with the statistics on and off, on one port whose
// far end is a minimal responder thread on a pseudo-terminal. The two take turns within each
// round, the first changing from round to round; reported are the medians and the median of
// each round's ratio (goal: at most 1.02).
#include "BenchSmoke.h"
#include "ReadResponder.h"
#include "bus/ServoBus.h"
#include "servo/MetricsText.h"
#include "serial/CZNComm.h"
#include "serial/TtyLinux.h"

#include <benchmark/benchmark.h>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kExchangesPerTurn = SmokeScaled(200, 5);
const int kRounds = SmokeScaled(40, 2);
constexpr uint8_t kAddress = 56;

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

void ExchangeWithLinkStatistics(benchmark::State& state)
{
    Responder far;
    CZNComm comm;
    comm.Open(far.path);
    comm.SetBaudRate(1000000);
    ServoBus bus(comm);
    uint8_t data[kCount] = {};
    // The median µs of one exchange over a turn; negative when one failed.
    auto turn = [&](bool statistics) {
        bus.SetLinkStatistics(statistics);
        std::vector<double> us;
        us.reserve(static_cast<size_t>(kExchangesPerTurn));
        for (int i = 0; i < kExchangesPerTurn; ++i) {
            const auto start = Clock::now();
            if (!bus.Run(JobKind::Command, [&](BusAccess& access) { return access.protocol.ReadMemory(1, kAddress, data, kCount).ok(); }))
                return -1.0;
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        return Median(std::move(us));
    };
    std::vector<double> on, off, ratios;
    int round = 0;
    for (auto _ : state) {
        double t[2];
        for (int k = 0; k < 2; ++k) {
            const int which = (round + k) % 2;
            t[which] = turn(which == 0);
        }
        ++round;
        if (t[0] < 0 || t[1] < 0) {
            state.SkipWithError("no good reply");
            return;
        }
        on.push_back(t[0]);
        off.push_back(t[1]);
        ratios.push_back(t[0] / t[1]);
    }
    state.counters["on_us"] = Median(on);
    state.counters["off_us"] = Median(off);
    state.counters["ratio"] = Median(ratios);
    state.counters["requests"] = static_cast<double>(bus.Link().Of(1).requests);
}

// The /metrics page for 32 servos, each with latencies in many buckets (goal: at most 5 ms).
void MetricsPageFor32Servos(benchmark::State& state)
{
    std::vector<MetricsServo> servos;
    for (int id = 1; id <= 32; ++id) {
        MetricsServo m{id, {}, true, {}};
        m.link.requests = m.link.answered = 1000;
        for (size_t b = 0; b < m.link.latency.size(); ++b)
            m.link.latency[b] = static_cast<uint32_t>(b);
        m.feedback.position = 2047;
        servos.push_back(m);
    }
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = MetricsText("/dev/ttyUSB0", servos, BusLinkStats{});
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(MetricsPageFor32Servos)->Unit(benchmark::kMicrosecond);
BENCHMARK(ExchangeWithLinkStatistics)->Iterations(kRounds)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
