// The main window while its port is gone (the bus vanished under it): the process's CPU share
// and the poll attempts a second, on the debug tab (50 ms poll) and on the programming tab
// (100 ms poll), each in windows interleaved with windows of the same tab on a healthy bus.
// BENCH_WINDOW_SECONDS sets each window's length (default 5; the smoke run takes 1).
#include "BenchSmoke.h"
#include "MainControls.h"
#include "WindowBenchMain.h"
#include "app/CServoMain.h"
#include "bus/ServoBus.h"
#include "pages/debug/CRobotDlg.h"
#include "pages/program/ServoPG.h"
#include "sim/VirtualBus.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds or `ms` pass; whether it held.
bool WaitFor(const std::function<bool()>& done, int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < deadline)
        Wait(10);
    return done();
}

// The bus's file-system name, which stays when it vanishes and comes back.
std::string LinkPath()
{
    return QDir::temp().filePath(QString("vanish-bench-%1").arg(QCoreApplication::applicationPid()))
        .toStdString();
}

void PollWhileGone(benchmark::State& state)
{
    const int tab = static_cast<int>(state.range(0));
    const char* env = std::getenv("BENCH_WINDOW_SECONDS");
    const int seconds = env ? std::max(1, std::atoi(env)) : SmokeScaled(5, 1);
    const int rounds = SmokeScaled(3, 1);
    for (auto _ : state) {
        ModelCatalogue catalogue{"setup.log"};
        VirtualBus bus{catalogue};
        ServoBus servoBus;
        std::string error;
        ServoSpec spec;
        spec.id = 1;
        spec.model = "Kestrel-12";
        bus.SetLinkPath(LinkPath());
        if (!bus.AddServo(spec, error) || !bus.Start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        servoBus.Run(JobKind::Command, [](BusAccess& access) { access.SetTimeoutMs(100); });
        CServoMain window(servoBus);
        MainControls ui(window);
        window.AddPortFirst(QString::fromStdString(LinkPath()));
        window.show();
        ServoMemory memory{};
        bus.Memory(1, memory);
        ModelKey key{};
        std::copy_n(memory.begin(), key.size(), key.begin());
        const ServoProfile profile = window.Catalogue().ProfileOf(key);
        window.DebugPage().SelectServo(1, key, profile);
        window.ProgramPage().SelectServo(1, key, profile);
        ui.tabs->setCurrentIndex(tab);
        auto attempts = [&] {
            return tab == 0 ? window.DebugPage().PollsAnswered() + window.DebugPage().PollsTimedOut()
                            : window.ProgramPage().PollTicks();
        };

        std::vector<double> goneCpu, healthyCpu, goneAttempts, healthyAttempts;
        bool failed = false;
        for (int r = 0; r < rounds && !failed; ++r) {
            // Healthy: the port opens and the page's poll is answered.
            ui.openButton->click();
            if (!WaitFor([&] { return window.PortOpen(); }, 5000)) {
                failed = true;
                break;
            }
            Wait(500);
            double cpu0 = CpuSeconds();
            long long n0 = attempts();
            Wait(seconds * 1000);
            healthyCpu.push_back(100.0 * (CpuSeconds() - cpu0) / seconds);
            healthyAttempts.push_back(static_cast<double>(attempts() - n0) / seconds);

            // Gone: the bus vanishes under the open port.
            bus.Vanish();
            if (!WaitFor([&] { return ui.statusField->text() == QString::fromUtf8("端口已断开"); },
                         5000)) {
                failed = true;
                break;
            }
            cpu0 = CpuSeconds();
            n0 = attempts();
            Wait(seconds * 1000);
            goneCpu.push_back(100.0 * (CpuSeconds() - cpu0) / seconds);
            goneAttempts.push_back(static_cast<double>(attempts() - n0) / seconds);

            // "关闭", the bus back, ready for the next round's "打开".
            ui.openButton->click();
            WaitFor([&] { return !window.PortOpen() &&
                                 ui.openButton->text() == QString::fromUtf8("打开"); }, 5000);
            if (!bus.Return(error)) {
                failed = true;
                break;
            }
        }
        window.Shutdown();
        if (failed) {
            state.SkipWithError("the window did not see the port open or go");
            return;
        }
        state.counters["cpu_percent_gone_p50"] = Median(goneCpu);
        state.counters["cpu_percent_healthy_p50"] = Median(healthyCpu);
        state.counters["gone_to_healthy_cpu"] = Median(goneCpu) / std::max(Median(healthyCpu), 1e-9);
        state.counters["attempts_per_s_gone_p50"] = Median(goneAttempts);
        state.counters["attempts_per_s_healthy_p50"] = Median(healthyAttempts);
    }
}

BENCHMARK(PollWhileGone)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
