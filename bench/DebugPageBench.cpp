// The debug page's speed: the plot's paint at the page's default size with six full lists
// (interleaved with a grid-only paint for a ratio), and a minute of polling a virtual servo
// at 20 Hz with every curve on, for the process's CPU share and the poll period's jitter.
// Runs on the offscreen platform unless another is set; BENCH_POLL_SECONDS shortens the poll
// (the smoke run polls for a second); BENCH_PLOT_PNG names a file that receives the full plot
// as painted, to compare by eye.
#include "BenchSmoke.h"
#include "DebugControls.h"
#include "WindowBench.h"
#include "WindowBenchMain.h"
#include "app/CServoMain.h"
#include "bus/ServoBus.h"
#include "pages/debug/CRobotDlg.h"
#include "plot/CPIC.h"
#include "support/PeriodicTimer.h"
#include "sim/VirtualBus.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

// Paints of a full six-channel plot, each beside a paint of the bare grid.
void PlotPaint(benchmark::State& state)
{
    CPIC full, grid;
    for (CPIC* p : {&full, &grid}) {
        p->InitCanvas();
        p->resize(CPIC::kDefaultWidth, CPIC::kDefaultHeight);
        p->show();
    }
    FeedbackSamples series;
    FillPlot(full, series);
    full.channelMask = 0x3F;
    QApplication::processEvents();
    if (const char* png = std::getenv("BENCH_PLOT_PNG"))
        full.grab().save(QString::fromLocal8Bit(png));
    std::vector<double> fullMs, gridMs, fullCpuMs;
    for (auto _ : state) {
        auto t0 = Clock::now();
        const double c0 = ThreadCpuMs();
        full.repaint();
        fullCpuMs.push_back(ThreadCpuMs() - c0);
        auto t1 = Clock::now();
        grid.repaint();
        auto t2 = Clock::now();
        fullMs.push_back(Ms(t1 - t0));
        gridMs.push_back(Ms(t2 - t1));
    }
    state.counters["full_cpu_p50_ms"] = Percentile(fullCpuMs, 0.5);
    state.counters["full_cpu_p99_ms"] = Percentile(fullCpuMs, 0.99);
    state.counters["full_p50_ms"] = Percentile(fullMs, 0.5);
    state.counters["full_p99_ms"] = Percentile(fullMs, 0.99);
    state.counters["grid_p50_ms"] = Percentile(gridMs, 0.5);
    state.counters["grid_p99_ms"] = Percentile(gridMs, 0.99);
    state.counters["full_to_grid_p50"] = Percentile(fullMs, 0.5) / Percentile(gridMs, 0.5);
}

// The main window's debug page polling a virtual servo that moves back and forth.
void PollAtTwentyHertz(benchmark::State& state)
{
    const char* env = std::getenv("BENCH_POLL_SECONDS");
    const int seconds = env ? std::max(1, std::atoi(env)) : SmokeScaled(60, 1);
    for (auto _ : state) {
        WindowOnBus rig;
        if (const std::string error = rig.Open({{40, 1}}, 100); !error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        VirtualBus& bus = rig.bus;
        CServoMain& window = *rig.window;
        DebugControls page(window.DebugPage());
        ServoMemory memory{};
        bus.Memory(1, memory);
        ModelKey key{};
        std::copy_n(memory.begin(), key.size(), key.begin());
        page->SelectServo(1, key, window.Catalogue().ProfileOf(key));
        for (QCheckBox* box : page.channelBoxes) {
            box->show();
            if (!box->isChecked())
                box->click();
        }

        std::mutex mutex;
        std::vector<Clock::time_point> ticks;
        ticks.reserve(static_cast<size_t>(seconds) * 25);
        std::atomic<int> pollThread{0};
        page->StopPolling();
        page->SetTickObserver([&] {
            pollThread = static_cast<int>(::syscall(SYS_gettid));
            std::lock_guard lock(mutex);
            ticks.push_back(Clock::now());
        });
        // Beside it, the same kind of timer with nothing to do: the machine's own jitter.
        struct Bare {
            std::mutex mutex;
            std::vector<Clock::time_point> ticks;
        } bare;
        bare.ticks.reserve(static_cast<size_t>(seconds) * 25);
        const auto bareTimer = PeriodicTimer::Start(
            CRobotDlg::kPollPeriodMs,
            [](void* b) {
                auto* self = static_cast<Bare*>(b);
                std::lock_guard lock(self->mutex);
                self->ticks.push_back(Clock::now());
            },
            &bare);
        page->StartPolling();
        QTimer mover;
        int leg = 0;
        QObject::connect(&mover, &QTimer::timeout, [&] {
            page.targetEdit->setText(++leg % 2 ? "3500" : "600");
            page.speedEdit->setText("1500");
            page.setButton->click();
        });
        mover.start(2500);

        const double cpu0 = CpuSeconds();
        const auto threads0 = ThreadTicks();
        const auto wall0 = Clock::now();
        Wait(seconds * 1000);
        const double cpu = CpuSeconds() - cpu0;
        const auto threads1 = ThreadTicks();
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        mover.stop();
        page->StopPolling();
        bareTimer->Stop();

        // Shares of one core: the window's thread, the poll's thread, and the rest (the
        // virtual bus above all, which a real adapter would not cost).
        const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
        double uiShare = 0, pollShare = 0, restShare = 0;
        for (const auto& [tid, t1] : threads1) {
            const auto before = threads0.find(tid);
            const double used = static_cast<double>(t1 - (before != threads0.end() ? before->second : 0)) / tick;
            const double share = 100.0 * used / wall;
            if (tid == ::getpid())
                uiShare += share;
            else if (tid == pollThread)
                pollShare += share;
            else
                restShare += share;
        }
        state.counters["cpu_ui_thread_percent"] = uiShare;
        state.counters["cpu_poll_thread_percent"] = pollShare;
        state.counters["cpu_other_threads_percent"] = restShare;
        std::vector<double> bareDeviations;
        for (size_t i = 1; i < bare.ticks.size(); ++i)
            bareDeviations.push_back(
                std::abs(Ms(bare.ticks[i] - bare.ticks[i - 1]) - CRobotDlg::kPollPeriodMs));
        state.counters["bare_timer_jitter_p50_ms"] = Percentile(bareDeviations, 0.5);
        state.counters["bare_timer_jitter_p99_ms"] = Percentile(bareDeviations, 0.99);

        std::vector<double> intervals, deviations;
        long long missed = 0;
        {
            std::lock_guard lock(mutex);
            for (size_t i = 1; i < ticks.size(); ++i) {
                const double d = Ms(ticks[i] - ticks[i - 1]);
                intervals.push_back(d);
                deviations.push_back(std::abs(d - CRobotDlg::kPollPeriodMs));
                if (d >= 1.5 * CRobotDlg::kPollPeriodMs)
                    missed += static_cast<long long>(d / CRobotDlg::kPollPeriodMs + 0.5) - 1;
            }
        }
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["polls"] = static_cast<double>(ticks.size());
        state.counters["answered"] = static_cast<double>(page->PollsAnswered());
        state.counters["interval_p50_ms"] = Percentile(intervals, 0.5);
        state.counters["interval_p99_ms"] = Percentile(intervals, 0.99);
        state.counters["jitter_p50_ms"] = Percentile(deviations, 0.5);
        state.counters["jitter_p99_ms"] = Percentile(deviations, 0.99);
        state.counters["jitter_max_ms"] = Percentile(deviations, 1.0);
        state.counters["jitter_p99_to_bare"] =
            Percentile(deviations, 0.99) / std::max(Percentile(bareDeviations, 0.99), 1e-3);
        state.counters["jitter_p50_to_bare"] =
            Percentile(deviations, 0.5) / std::max(Percentile(bareDeviations, 0.5), 1e-3);
        state.counters["missed_ticks"] = static_cast<double>(missed);
        window.Shutdown();
        if (page->PollsAnswered() == 0) {
            state.SkipWithError("no poll was answered");
            return;
        }
    }
}

// The window's thread while a search runs (100 ms time-out, one servo) and the user drives
// the debug page: "设置" and a target step every 50 ms. A 1 ms timer on the window's thread
// shows the longest time the thread went without serving its events; then "停止" is timed
// to the search's end.
void DriveDuringSearch(benchmark::State& state)
{
    const int seconds = SmokeScaled(10, 1);
    for (auto _ : state) {
        WindowOnBus rig;
        if (const std::string error = rig.Open({}, 100); !error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        CServoMain& window = *rig.window;
        MainControls ui(window);
        DebugControls page(window.DebugPage());
        ui.searchButton->click();

        std::vector<double> gaps, clicks;
        auto last = Clock::now();
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(1);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            gaps.push_back(Ms(now - last));
            last = now;
        });
        int target = 1000;
        QTimer drive;
        drive.setInterval(50);
        QObject::connect(&drive, &QTimer::timeout, [&] {
            const auto t0 = Clock::now();
            page.targetEdit->setText(QString::number(target++));
            page.setButton->click();
            page.targetSlider->triggerAction(QSlider::SliderSingleStepAdd);
            clicks.push_back(Ms(Clock::now() - t0));
        });
        QEventLoop driving;
        beat.start();
        drive.start();
        QTimer::singleShot(seconds * 1000, &driving, &QEventLoop::quit);
        driving.exec();
        drive.stop();
        beat.stop();
        const bool stillSearching = window.Searching();

        QEventLoop stopping;
        QObject::connect(&window, &CServoMain::SearchFinished, &stopping, &QEventLoop::quit);
        QTimer::singleShot(30000, &stopping, &QEventLoop::quit);
        const auto stopAt = Clock::now();
        if (window.Searching()) {
            ui.searchButton->click();
            stopping.exec();
        }
        state.counters["ui_gap_p99_ms"] = Percentile(gaps, 0.99);
        state.counters["ui_gap_max_ms"] = Percentile(gaps, 1.0);
        state.counters["click_max_ms"] = Percentile(clicks, 1.0);
        state.counters["commands"] = static_cast<double>(clicks.size());
        state.counters["searching_while_driven"] = stillSearching ? 1 : 0;
        state.counters["stop_to_end_ms"] = Ms(Clock::now() - stopAt);
        window.Shutdown();
        if (clicks.empty()) {
            state.SkipWithError("no command was given");
            return;
        }
    }
}

BENCHMARK(PlotPaint)->Iterations(SmokeScaled(2000, 20))->Unit(benchmark::kMillisecond);
BENCHMARK(PollAtTwentyHertz)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(DriveDuringSearch)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
