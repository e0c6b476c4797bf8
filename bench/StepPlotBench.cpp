// The step test's plot with 10 overlaid runs of 3 s each, read at the rate a back-to-back
// capture of the whole feedback block reaches at 1 Mbaud (the wire's limit, the most a run can
// hold): a repaint as the plot is shown (its runs' points kept from the last paint), and a
// repaint after the size changed (every run cut to its pixel columns again, as after a run
// ends or the window is resized). Thread CPU time of the window's thread, median and p99.
// BENCH_STEP_PNG names a file that gets a picture of the plot.
#include "BenchSmoke.h"
#include "WindowBench.h"
#include "WindowBenchMain.h"
#include "plot/StepPlot.h"
#include "servo/FeedbackCapture.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

namespace {

// An under-damped response from 1500 to 2500 after a dead time, each run damped less, with a
// count of noise.
std::vector<StepPoint> Run(int run, double perSecond, double seconds)
{
    std::vector<StepPoint> points;
    const double zeta = 0.15 + 0.07 * run;
    const double omega = 2 * M_PI * 6;
    for (int i = 0; i < static_cast<int>(perSecond * seconds); ++i) {
        const double t = i / perSecond;
        const double after = std::max(0.0, t - 0.004);
        const double wd = omega * std::sqrt(1 - zeta * zeta);
        const double y = 1 - std::exp(-zeta * omega * after) *
                                 (std::cos(wd * after) + zeta / std::sqrt(1 - zeta * zeta) * std::sin(wd * after));
        points.push_back({t * 1000, static_cast<int>(std::lround(1500 + 1000 * y)) + (i * 7 + run) % 3 - 1});
    }
    return points;
}

void StepPlotPaint(benchmark::State& state)
{
    // 8 request bytes, 6 + 17 reply bytes, 20 µs return delay: 3,030 reads a second.
    const double perSecond = WireLimitPerSecond(kReadRequestBytes, ReadReplyBytes(17), 1'000'000, 20);
    StepPlot plot;
    plot.resize(760, 400);
    plot.SetFrame(3000, 1500, 2500, 20);
    for (int r = 0; r < 10; ++r)
        plot.AddRun(QStringLiteral("Run %1: D = %2").arg(r + 1).arg(8 + 8 * r), Run(r, perSecond, 3));
    plot.show();
    QApplication::processEvents();
    if (const char* png = std::getenv("BENCH_STEP_PNG"))
        plot.Picture().save(QString::fromLocal8Bit(png));
    std::vector<double> kept, resized;
    int n = 0;
    for (auto _ : state) {
        double c0 = ThreadCpuMs();
        plot.repaint();
        kept.push_back(ThreadCpuMs() - c0);
        // A new width: every run cut to its columns again in the paint measured.
        plot.resize(760 + (++n % 2), 400);
        c0 = ThreadCpuMs();
        plot.repaint();
        resized.push_back(ThreadCpuMs() - c0);
        QApplication::processEvents();  // the update the resize asked for, not measured
    }
    state.counters["samples_per_run"] = perSecond * 3;
    state.counters["kept_cpu_p50_ms"] = Percentile(kept, 0.5);
    state.counters["kept_cpu_p99_ms"] = Percentile(kept, 0.99);
    state.counters["recut_cpu_p50_ms"] = Percentile(resized, 0.5);
    state.counters["recut_cpu_p99_ms"] = Percentile(resized, 0.99);
}

BENCHMARK(StepPlotPaint)->Iterations(SmokeScaled(1000, 10))->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
