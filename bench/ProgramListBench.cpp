// The programming page's list refresh on the UI thread for a 60-row table: what one poll's
// results cost to put into the list and the status box, alone and with the paint of the
// changed cells that the event loop does next. Every value changes at every tick (the worst case). Reports the
// median and the 99th percentile of single refreshes; the two kinds run interleaved.
#include "BenchSmoke.h"
#include "app/CServoMain.h"
#include "bus/ServoBus.h"
#include "pages/program/ServoPG.h"

#include <QApplication>
#include <QTableWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int kRows = 60;

struct Fixture {
    Fixture()
    {
        window = std::make_unique<CServoMain>(bus);
        window->show();
        window->ShowPage(1);
        page = &window->ProgramPage();
        page->StopPolling();  // the benchmark feeds the page itself
        PollReport fill;
        fill.rebuild = true;
        for (int r = 0; r < kRows; ++r)
            fill.rows.push_back({std::to_string(r), "参数" + std::to_string(r), "0",
                                 r < 30 ? "EPROM" : "SRAM", r % 3 ? "读写" : "只读"});
        page->ShowPoll(fill);
        QApplication::processEvents();
    }
    PollReport Tick(int n) const
    {
        PollReport r;
        for (int row = 0; row < kRows; ++row)
            r.values.emplace_back(row, std::to_string((n * 7 + row * 13) % 4096 - 2048));
        r.status = PollReport::Status::Faults;
        r.faults = n % 2 ? 0x05 : 0;
        return r;
    }

    ServoBus bus;  // its port stays closed
    std::unique_ptr<CServoMain> window;
    ServoPG* page = nullptr;
};

// CPU time of this thread, in microseconds: the UI thread's own cost, whatever else the
// shared machine runs meanwhile.
double ThreadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

void ListRefresh(benchmark::State& state)
{
    Fixture f;
    std::vector<double> refresh, painted, refreshCpu, paintedCpu;
    int n = 0;
    for (auto _ : state) {
        for (int kind = 0; kind < 2; ++kind) {  // interleaved: refresh alone, then with paint
            const PollReport report = f.Tick(++n);
            const double cpu = ThreadCpuUs();
            const auto start = std::chrono::steady_clock::now();
            f.page->ShowPoll(report);
            if (kind == 1)
                QApplication::processEvents();  // the paint of what changed
            const std::chrono::duration<double, std::micro> took =
                std::chrono::steady_clock::now() - start;
            (kind == 0 ? refresh : painted).push_back(took.count());
            (kind == 0 ? refreshCpu : paintedCpu).push_back(ThreadCpuUs() - cpu);
            QApplication::processEvents();  // what the event loop does between ticks
        }
    }
    state.counters["refresh_p50_us"] = Percentile(refresh, 0.50);
    state.counters["refresh_p99_us"] = Percentile(refresh, 0.99);
    state.counters["painted_p50_us"] = Percentile(painted, 0.50);
    state.counters["painted_p99_us"] = Percentile(painted, 0.99);
    state.counters["refresh_cpu_p99_us"] = Percentile(refreshCpu, 0.99);
    state.counters["painted_cpu_p99_us"] = Percentile(paintedCpu, 0.99);
    state.counters["painted_to_refresh"] =
        Percentile(painted, 0.50) / std::max(1e-9, Percentile(refresh, 0.50));
}
BENCHMARK(ListRefresh)->Iterations(SmokeScaled(2000, 20))->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                                     : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
