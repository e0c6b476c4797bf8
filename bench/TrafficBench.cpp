// The traffic inspector under the heaviest traffic the window makes: the communication test's
// reads back to back at 1 Mbaud on the paced virtual bus (three servos, 67-byte reads, as test
// jobs) while the inspector is open and the window's event loop runs. Reported: the packets a
// second the bus recorded, the rows the window shows at the end, the most records the window
// had not yet taken (sampled every 100 ms), and the UI thread's CPU share.
// Runs on the offscreen platform unless another is set.
#include "BenchSmoke.h"
#include "WindowBenchMain.h"
#include "app/CServoMain.h"
#include "app/TrafficWindow.h"
#include "pages/debug/CRobotDlg.h"
#include "bus/ServoBus.h"
#include "sim/VirtualBus.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void InspectorDuringCommTest(benchmark::State& state)
{
    const int seconds = SmokeScaled(10, 1);
    ModelCatalogue catalogue{"setup.log"};
    VirtualBus sim(catalogue);
    std::string error;
    for (int id = 1; id <= 3; ++id) {
        ServoSpec spec;
        spec.id = static_cast<uint8_t>(id);
        spec.model = "Kestrel-12";
        spec.baudCode = 0;
        if (!sim.AddServo(spec, error))
            return state.SkipWithError(error.c_str());
    }
    if (!sim.Start(error))
        return state.SkipWithError(error.c_str());
    sim.SetPacing(true, 20);
    ServoBus bus;
    CServoMain window(bus);
    window.show();
    // The debug page's poll of an unselected servo would hold the bus for its time-outs.
    window.DebugPage().StopPolling();
    bus.Run(JobKind::Command, [&](BusAccess& access) {
        access.Open(sim.DevicePath());  // the traffic record's times start here
        access.SetRate(1000000);
        return 0;
    });
    window.ShowTraffic();
    CTrafficWindow& inspector = *window.TrafficWindow();

    uint64_t maxLag = 0;
    QTimer lagProbe;
    QObject::connect(&lagProbe, &QTimer::timeout, [&] {
        const uint64_t lag = bus.Traffic().Next() - static_cast<uint64_t>(inspector.Model().rowCount());
        maxLag = std::max(maxLag, lag);
    });
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::thread test([&] {
            uint8_t data[67];
            while (!stop)
                bus.Run(JobKind::Test, [&](BusAccess& access) {
                    for (uint8_t id = 1; id <= 3; ++id)
                        access.protocol.ReadMemory(id, 0, data, sizeof data);
                    return 0;
                });
        });
        lagProbe.start(CTrafficWindow::kPullMs);
        const double cpu0 = ThreadCpuMs();
        const auto start = Clock::now();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double cpuMs = ThreadCpuMs() - cpu0;
        stop = true;
        test.join();
        lagProbe.stop();
        inspector.Pull();
        state.counters["packets_per_s"] = static_cast<double>(bus.Traffic().Next()) * 1000 / wallMs;
        state.counters["rows"] = inspector.Model().rowCount();
        state.counters["log_next"] = static_cast<double>(bus.Traffic().Next());
        state.counters["max_lag"] = static_cast<double>(maxLag);
        state.counters["ui_cpu_share"] = cpuMs / wallMs;
        if (std::getenv("BENCH_TRAFFIC_LINES"))
            for (const auto& r : bus.Traffic().Since(0, 8).records)
                std::fprintf(stderr, "%s\n", TrafficLine(r).c_str());
    }
    window.Shutdown();
}

BENCHMARK(InspectorDuringCommTest)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
