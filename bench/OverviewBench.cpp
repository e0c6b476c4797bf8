// The bus overview watching 12 servos at 1 Mbaud on the paced virtual bus beside the debug
// page's 20 Hz poll of servo 1: each servo's reads a second, and the poll's median period and
// p99 gap with the overview polling against without it, in alternating stretches; and how
// long the overview's first scan over every rate took. BENCH_OVERVIEW_SECONDS sets the
// measured time (default 24; the smoke run takes 2).
#include "BenchSmoke.h"
#include "DebugControls.h"
#include "WindowBench.h"
#include "WindowBenchMain.h"
#include "pages/debug/CRobotDlg.h"
#include "pages/overview/OverviewWindow.h"

#include <QEventLoop>
#include <QTableWidget>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <mutex>

namespace {

constexpr int kServos = 12;

// Serves the window's events until `signal` of `sender` comes or `ms` pass; whether it came.
template <class Sender, class Signal>
bool WaitForSignal(Sender* sender, Signal signal, int ms)
{
    QEventLoop loop;
    bool came = false;
    QObject::connect(sender, signal, &loop, [&] {
        came = true;
        loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return came;
}

int Seconds()
{
    const char* env = std::getenv("BENCH_OVERVIEW_SECONDS");
    return env ? std::max(2, std::atoi(env)) : SmokeScaled(24, 2);
}

void OverviewBesideDebugPoll(benchmark::State& state)
{
    const int rounds = SmokeScaled(4, 1);
    const int stretchMs = std::max(1000, Seconds() * 1000 / (2 * rounds));
    for (auto _ : state) {
        ModelCatalogue catalogue{"setup.log"};
        VirtualBus bus{catalogue};
        std::string error;
        for (int id = 1; id <= kServos; ++id) {
            ServoSpec spec;
            spec.id = static_cast<uint8_t>(id);
            spec.model = "Kestrel-12";
            spec.baudCode = 0;  // 1 Mbaud
            if (!bus.AddServo(spec, error))
                return state.SkipWithError(error.c_str());
        }
        bus.SetPacing(true);
        bus.KeepLogLines(false);
        if (!bus.Start(error))
            return state.SkipWithError(error.c_str());
        ServoBus servoBus;
        servoBus.Run(JobKind::Command, [](BusAccess& access) { access.SetTimeoutMs(100); });
        CServoMain window(servoBus);
        window.AddPortFirst(QString::fromStdString(bus.DevicePath()));
        window.OpenAtStart({}, 1000000);
        window.show();
        QTimer::singleShot(0, &window, [&window] { window.ClickOpen(); });
        if (!WaitForSignal(&window, &CServoMain::PortChanged, 5000) || !window.PortOpen())
            return state.SkipWithError("the port did not open");
        // The debug page polls servo 1.
        ServoMemory memory{};
        bus.Memory(1, memory);
        ModelKey key{};
        std::copy_n(memory.begin(), key.size(), key.begin());
        window.DebugPage().SelectServo(1, key, window.Catalogue().ProfileOf(key));
        std::mutex mutex;
        std::vector<Clock::time_point> ticks;
        window.DebugPage().SetTickObserver([&] {
            std::lock_guard lock(mutex);
            ticks.push_back(Clock::now());
        });

        // No servo known: the overview scans every rate first.
        const auto scan0 = Clock::now();
        window.ShowOverview();
        OverviewWindow& overview = *window.Overview();
        if (!WaitForSignal(&overview, &OverviewWindow::watching, 60000))
            return state.SkipWithError("the overview's scan did not end");
        const double scanSeconds = std::chrono::duration<double>(Clock::now() - scan0).count();

        std::vector<double> alone, beside, perServo;
        for (int r = 0; r < rounds; ++r) {
            for (const bool withOverview : {false, true}) {
                if (withOverview)
                    overview.StartPolling();
                else
                    overview.StopPolling();
                Wait(200);  // the change settles
                std::vector<uint64_t> before;
                for (int id = 2; id <= kServos; ++id)
                    before.push_back(servoBus.Link().Of(static_cast<uint8_t>(id)).requests);
                {
                    std::lock_guard lock(mutex);
                    ticks.clear();
                }
                const auto wall0 = Clock::now();
                Wait(stretchMs);
                const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
                std::lock_guard lock(mutex);
                for (size_t i = 1; i < ticks.size(); ++i)
                    (withOverview ? beside : alone).push_back(Ms(ticks[i] - ticks[i - 1]));
                if (withOverview)
                    for (int id = 2; id <= kServos; ++id)
                        perServo.push_back(
                            static_cast<double>(servoBus.Link().Of(static_cast<uint8_t>(id)).requests -
                                                before[static_cast<size_t>(id - 2)]) / wall);
            }
        }
        window.DebugPage().SetTickObserver({});
        window.Shutdown();
        state.counters["scan_s"] = scanSeconds;
        state.counters["servos_watched"] = overview.findChild<QTableWidget*>("overviewTable")->rowCount();
        state.counters["per_servo_per_s_median"] = Percentile(perServo, 0.5);
        state.counters["per_servo_per_s_min"] = Percentile(perServo, 0.0);
        state.counters["poll_period_median_ms"] = Percentile(beside, 0.5);
        state.counters["poll_gap_p99_ms"] = Percentile(beside, 0.99);
        state.counters["alone_period_median_ms"] = Percentile(alone, 0.5);
        state.counters["alone_gap_p99_ms"] = Percentile(alone, 0.99);
        // A smoke run on a loaded machine may find and read fewer servos; none read is a fault.
        if (beside.empty() || perServo.empty() || Percentile(perServo, 1.0) == 0)
            state.SkipWithError("no poll or no overview reading");
    }
}

BENCHMARK(OverviewBesideDebugPoll)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
