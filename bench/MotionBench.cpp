// The motion player at 50 Hz with 12 servos on the paced virtual bus at 1 Mbaud: the period
// between two ticks' sync packets as the bus takes them in (median and 99th percentile, ms),
// and the sync packets a tick (1 when every tick is one packet). A thread watches the bytes
// the bus has heard; a jump of a whole sync packet's length marks its tick (that thread's own
// lateness on a busy machine counts in). The same periods as the traffic record stamps the
// packets when they go out are reported beside them (port_*).
#include "BenchSmoke.h"
#include "CatalogueCopy.h"
#include "bus/ServoBus.h"
#include "servo/MotionPlayer.h"
#include "sim/VirtualBus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kServos = 12;

double Percentile(std::vector<double> v, double share)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(share * static_cast<double>(v.size())))];
}

void PlayerTicks(benchmark::State& state)
{
    const auto length = std::chrono::milliseconds(SmokeScaled(5000, 400));
    const std::string file = CatalogueCopy("bench-motion");
    ModelCatalogue catalogue(file);
    VirtualBus sim(catalogue);
    sim.SetPacing(true, 20);
    std::string error;
    for (int id = 1; id <= kServos; ++id) {
        ServoSpec spec;
        spec.id = static_cast<uint8_t>(id);
        spec.model = "Kestrel-12";
        spec.baudCode = 0;
        if (!sim.AddServo(spec, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    if (!sim.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    Motion motion;
    motion.keyframes.resize(2);
    for (int id = 1; id <= kServos; ++id) {
        motion.keyframes[0].pose[static_cast<uint8_t>(id)] = 1800 + id;
        motion.keyframes[1].pose[static_cast<uint8_t>(id)] = 2300 - id;
    }
    motion.keyframes[0].timeMs = motion.keyframes[1].timeMs = 500;
    // A tick's packet: head, checksum and twelve groups of an ID and a 7-byte block.
    const long long syncBytes = 8 + kServos * 8;

    ServoBus bus;
    const MotionStart start = bus.Run(JobKind::Command, [&](BusAccess& access) {
        access.Open(sim.DevicePath());
        access.SetRate(1000000);
        access.SetTimeoutMs(20);
        return PrepareMotion(access.protocol, catalogue, motion, {});
    });
    if (!start.ok()) {
        state.SkipWithError("the virtual servos did not answer");
        return;
    }
    bus.Traffic().SetKeep(true);
    bus.SetTracing(true);
    std::vector<double> medians, p99s, perTick, portMedians, portP99s;
    for (auto _ : state) {
        std::vector<Clock::time_point> ticks;
        std::atomic<bool> watching{true};
        std::thread watch([&] {
            long long heard = sim.BytesHeard();
            while (watching) {
                const long long now = sim.BytesHeard();
                if (now - heard >= syncBytes)
                    ticks.push_back(Clock::now());
                heard = now;
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        sim.ClearLog();
        const uint64_t from = bus.Traffic().Next();
        MotionPlayer player(bus);
        player.Play(start, {0, 1.0, 50, false});
        std::this_thread::sleep_for(length);
        player.Stop(false);
        while (player.Running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        watching = false;
        watch.join();
        std::vector<double> periods;
        for (size_t i = 1; i < ticks.size(); ++i)
            periods.push_back(std::chrono::duration<double, std::milli>(ticks[i] - ticks[i - 1]).count());
        medians.push_back(Percentile(periods, 0.5));
        p99s.push_back(Percentile(periods, 0.99));
        std::vector<double> sent;
        for (const TrafficRecord& r : bus.Traffic().Since(from, 1000000).records)
            if (r.direction == PacketDirection::Out && r.bytes.size() > 4 && r.bytes[4] == 0x83)
                sent.push_back(static_cast<double>(r.timeUs) / 1000);
        std::vector<double> portPeriods;
        for (size_t i = 1; i < sent.size(); ++i)
            portPeriods.push_back(sent[i] - sent[i - 1]);
        portMedians.push_back(Percentile(portPeriods, 0.5));
        portP99s.push_back(Percentile(portPeriods, 0.99));
        long long syncs = 0;
        for (const std::string& line : sim.LogLines())
            syncs += line.rfind("> FF FF FE", 0) == 0;
        const long long tickCount = player.Status().ticks;
        perTick.push_back(tickCount > 0 ? static_cast<double>(syncs) / static_cast<double>(tickCount) : 0);
    }
    state.counters["period_median_ms"] = Percentile(medians, 0.5);
    state.counters["period_p99_ms"] = Percentile(p99s, 0.5);
    state.counters["packets_per_tick"] = Percentile(perTick, 0.5);
    state.counters["port_median_ms"] = Percentile(portMedians, 0.5);
    state.counters["port_p99_ms"] = Percentile(portP99s, 0.5);
    bus.Shutdown();
    sim.Stop();
    std::filesystem::remove(file);
}

}  // namespace

BENCHMARK(PlayerTicks)->Iterations(SmokeScaled(3, 1))->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
