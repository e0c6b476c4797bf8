// Fast capture's speed: samples a second of back-to-back reads against the wire's limit on the
// paced virtual bus (1 Mbaud and 115200, the whole feedback block and its six motion bytes);
// the plot's paint with 10 s of 3,000 samples a second on every channel beside the 50 ms
// poll's full plot; and the window capturing at 1 Mbaud while the user drives the page: the
// window's longest gap, the process's CPU, the samples a second and the memory over time.
// BENCH_CAPTURE_SECONDS sets how long the window captures (default 20; 600 for the memory
// figure), BENCH_CAPTURE_RSS names a file that gets the resident size each second; the smoke
// run captures for a second.
#include "BenchSmoke.h"
#include "DebugControls.h"
#include "ScriptedDialogs.h"
#include "WindowBench.h"
#include "WindowBenchMain.h"
#include "pages/debug/CRobotDlg.h"
#include "plot/CPIC.h"
#include "servo/FeedbackCapture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

namespace {

double RssMb()
{
    std::ifstream statm("/proc/self/statm");
    long long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

// Back-to-back reads as the core runs them (ServoBus::Every with period zero) through the
// port at `rate` on the paced virtual bus; arguments: baud code (0 or 4), motion block (0/1).
void CaptureRate(benchmark::State& state)
{
    const int baudCode = static_cast<int>(state.range(0));
    const CaptureBlock block = state.range(1) ? CaptureBlock::Motion : CaptureBlock::Full;
    const int rate = baudCode == 0 ? 1000000 : 115200;
    const double seconds = SmokeRun() ? 0.3 : 5;
    ModelCatalogue catalogue("setup.log");
    VirtualBus sim(catalogue);
    std::string error;
    ServoSpec spec;
    spec.id = 1;
    spec.model = "Kestrel-12";
    spec.baudCode = baudCode;
    constexpr int kReturnDelayUs = 20;
    sim.SetPacing(true, kReturnDelayUs);
    sim.KeepLogLines(false);
    if (!sim.AddServo(spec, error) || !sim.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    ServoMemory memory{};
    sim.Memory(1, memory);
    ModelKey key{};
    std::copy_n(memory.begin(), key.size(), key.begin());
    DebugTarget target{catalogue.ProfileOf(key), kDefaultDebugProfile};
    catalogue.LookupDebugProfile(key, target.debug);
    const int count = CaptureRange(target.debug, block).count;
    const double limit = WireLimitPerSecond(kReadRequestBytes, ReadReplyBytes(count), rate, kReturnDelayUs);

    ServoBus bus;
    bus.Run(JobKind::Command, [&](BusAccess& access) {
        access.Open(sim.DevicePath());
        access.SetRate(rate);
        access.SetTimeoutMs(100);
    });
    for (auto _ : state) {
        std::atomic<long long> answered{0}, failed{0};
        std::atomic<bool> backwards{false};
        CaptureSample::Clock::time_point last{};
        FeedbackCapture capture(1, 1, block);
        const double cpu0 = CpuSeconds();
        const auto start = Clock::now();
        auto job = bus.Every(std::chrono::milliseconds(0), [&](BusAccess& access) {
            CaptureSample s;
            if (capture.Next(access.protocol, target, s))
                ++answered;
            else
                ++failed;
            if (s.time <= last)
                backwards = true;
            last = s.time;
        });
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        job->Stop();
        bus.Run(JobKind::Command, [](BusAccess&) {});
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double perSecond = static_cast<double>(answered) / wall;
        state.counters["samples_per_s"] = perSecond;
        state.counters["wire_limit_per_s"] = limit;
        state.counters["ratio_to_limit"] = perSecond / limit;
        state.counters["block_bytes"] = count;
        state.counters["failed"] = static_cast<double>(failed);
        state.counters["cpu_percent_with_sim"] = 100.0 * (CpuSeconds() - cpu0) / wall;
        if (backwards)
            state.SkipWithError("sample times went back");
        if (answered == 0)
            state.SkipWithError("no read was answered");
    }
    bus.Run(JobKind::Command, [](BusAccess& access) { access.Close(); });
}

// Paints of the plot in fast capture with 10 s of 3,000 samples a second on all six
// channels (a step and noise), each beside a paint of the 50 ms poll's full plot.
void CapturePaint(benchmark::State& state)
{
    CPIC fast, polled;
    for (CPIC* p : {&fast, &polled}) {
        p->InitCanvas();
        p->resize(CPIC::kDefaultWidth, CPIC::kDefaultHeight);
        p->channelMask = 0x3F;
        p->show();
    }
    FeedbackSamples fastSeries, polledSeries;
    fast.SetSeries(&fastSeries);
    polled.SetSeries(&polledSeries);
    const auto start = CaptureSample::Clock::now();
    fastSeries.StartCapture(start);
    fast.SetCaptureMode(true);
    constexpr int kRate = 3000;
    long long us = 0;
    auto addSecond = [&] {
        for (int i = 0; i < kRate; ++i, us += 1'000'000 / kRate) {
            const int step = (us / 700'000) % 2 ? 3000 : 1000;
            // Raw values whose plot values are those of a step and noise on every channel.
            int v[kChannels];
            for (int c = 0; c < kChannels; ++c)
                v[c] = step / (c + 1) + (i * 37 + c * 11) % 97;
            CaptureSample s;
            s.answered = true;
            s.time = start + std::chrono::microseconds(us);
            s.values.position = v[kPosition];
            s.values.target = v[kTarget];
            s.values.load = (v[kLoad] - 2000) / 2;
            s.values.speed = (v[kSpeed] - 2000) / 2;
            s.values.fastSlow = (v[kFastSlow] - 2000) / 2;
            s.values.current = (v[kCurrent] - 2000) / 2;
            fastSeries.Add(s, SampleKind::Captured);
        }
    };
    for (int s = 0; s < 10; ++s)
        addSecond();
    FillPlot(polled, polledSeries);
    QApplication::processEvents();
    if (const char* png = std::getenv("BENCH_CAPTURE_PNG"))
        fast.grab().save(QString::fromLocal8Bit(png));
    std::vector<double> fastCpu, polledCpu;
    int n = 0;
    for (auto _ : state) {
        // New samples keep arriving, as they do while capturing (a 60th of a second's worth).
        if (++n % 20 == 0)
            addSecond();
        double c0 = ThreadCpuMs();
        fast.repaint();
        fastCpu.push_back(ThreadCpuMs() - c0);
        c0 = ThreadCpuMs();
        polled.repaint();
        polledCpu.push_back(ThreadCpuMs() - c0);
    }
    state.counters["capture_cpu_p50_ms"] = Percentile(fastCpu, 0.5);
    state.counters["capture_cpu_p99_ms"] = Percentile(fastCpu, 0.99);
    state.counters["poll_plot_cpu_p50_ms"] = Percentile(polledCpu, 0.5);
    state.counters["poll_plot_cpu_p99_ms"] = Percentile(polledCpu, 0.99);
    state.counters["capture_to_poll_p50"] = Percentile(fastCpu, 0.5) / Percentile(polledCpu, 0.5);
}

// The window in fast capture at 1 Mbaud on the paced virtual bus, recording, while the user
// drives the page ("设置" and a step of the target slider every 50 ms); a 1 ms timer on the
// window's thread shows its longest gap.
void CaptureWhileDriven(benchmark::State& state)
{
    const char* env = std::getenv("BENCH_CAPTURE_SECONDS");
    const int seconds = env ? std::max(1, std::atoi(env)) : SmokeScaled(20, 1);
    for (auto _ : state) {
        WindowOnBus rig;
        rig.bus.SetPacing(true);
        rig.bus.KeepLogLines(false);
        if (const std::string error = rig.Open({{40, 1}}, 100, 0); !error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        CServoMain& window = *rig.window;
        DebugControls page(window.DebugPage());
        page.idEdit->setText("1");
        for (QCheckBox* box : page.channelBoxes)
            if (!box->isChecked())
                box->click();
        QTemporaryDir dir;
        const QString record = dir.filePath("capture.csv");
        auto files = std::make_unique<ScriptedFiles>();
        files->save = record;
        window.SetDialogs(std::make_unique<QtMessageBoxes>(), std::move(files));
        Wait(200);
        page->SetFastCapture(true);
        page.recordAction->trigger();
        if (!page->FastCapture() || !page->IsRecording()) {
            state.SkipWithError("no fast capture or no recording");
            window.Shutdown();
            return;
        }

        // The gaps as a histogram of 0.1 ms steps (the last one holds the longer ones), so the
        // measurement itself keeps the memory flat.
        std::vector<long long> gaps(1001, 0);
        double longestGap = 0;
        std::vector<double> rss;
        auto last = Clock::now();
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(1);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            const double gap = Ms(now - last);
            ++gaps[std::min<size_t>(gaps.size() - 1, static_cast<size_t>(gap * 10))];
            longestGap = std::max(longestGap, gap);
            last = now;
        });
        int leg = 0;
        QTimer drive;
        drive.setInterval(50);
        QObject::connect(&drive, &QTimer::timeout, [&] {
            page.targetEdit->setText(++leg % 40 < 20 ? "3300" : "900");
            page.speedEdit->setText("1500");
            page.setButton->click();
            page.targetSlider->triggerAction(QSlider::SliderSingleStepAdd);
        });
        QTimer memory;
        memory.setInterval(1000);
        QObject::connect(&memory, &QTimer::timeout, [&] { rss.push_back(RssMb()); });
        std::atomic<int> busThread{0};
        rig.servoBus.Post(JobKind::Command, [&](BusAccess&) { busThread = static_cast<int>(::gettid()); });
        const long long captured0 = page->SamplesCaptured();
        const auto threads0 = ThreadTicks();
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        beat.start();
        drive.start();
        memory.start();
        Wait(seconds * 1000);
        beat.stop();
        drive.stop();
        memory.stop();
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        const double cpu = CpuSeconds() - cpu0;
        const auto threads1 = ThreadTicks();
        const long long samples = page->SamplesCaptured() - captured0;
        page->SetFastCapture(false);
        page->StopRecording();
        std::ifstream rows(record.toStdString());
        long long lines = 0;
        for (std::string line; std::getline(rows, line);)
            ++lines;

        state.counters["samples_per_s"] = static_cast<double>(samples) / wall;
        state.counters["recorded_rows"] = static_cast<double>(lines - 1);
        state.counters["samples"] = static_cast<double>(samples);
        state.counters["cpu_percent_with_sim"] = 100.0 * cpu / wall;
        // Shares of one core: the window's thread, the bus's, and the rest (the virtual bus
        // above all, which spins through its wire times; a real adapter costs none of it).
        const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
        double ui = 0, busShare = 0, rest = 0;
        for (const auto& [tid, t1] : threads1) {
            const auto before = threads0.find(tid);
            const double share = 100.0 * static_cast<double>(t1 - (before != threads0.end() ? before->second : 0)) /
                                 tick / wall;
            (tid == ::getpid() ? ui : tid == busThread ? busShare : rest) += share;
        }
        state.counters["cpu_ui_thread_percent"] = ui;
        state.counters["cpu_bus_thread_percent"] = busShare;
        state.counters["cpu_other_threads_percent"] = rest;
        long long beats = 0, seen = 0;
        for (const long long n : gaps)
            beats += n;
        size_t p99 = 0;
        for (; p99 < gaps.size() && (seen += gaps[p99]) < beats * 99 / 100; ++p99) {
        }
        state.counters["ui_gap_p99_ms"] = static_cast<double>(p99 + 1) / 10;
        state.counters["ui_gap_max_ms"] = longestGap;
        // After the first 10 s the plot's window is full: only the recording's file grows.
        const size_t filled = std::min<size_t>(rss.size(), 11);
        if (!rss.empty()) {
            const size_t half = filled - 1 + (rss.size() - filled) / 2;
            state.counters["rss_filled_mb"] = rss[filled - 1];
            state.counters["rss_half_mb"] = rss[half];
            state.counters["rss_end_mb"] = rss.back();
            state.counters["rss_growth_after_fill_mb"] = rss.back() - rss[filled - 1];
            state.counters["rss_growth_second_half_mb"] = rss.back() - rss[half];
        }
        if (const char* series = std::getenv("BENCH_CAPTURE_RSS")) {
            std::ofstream out(series);
            for (size_t i = 0; i < rss.size(); ++i)
                out << i + 1 << " " << rss[i] << "\n";
        }
        window.Shutdown();
        if (samples == 0) {
            state.SkipWithError("no sample was captured");
            return;
        }
    }
}

BENCHMARK(CaptureRate)
    ->Args({0, 0})->Args({0, 1})->Args({4, 0})->Args({4, 1})
    ->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(CapturePaint)->Iterations(SmokeScaled(2000, 20))->Unit(benchmark::kMillisecond);
BENCHMARK(CaptureWhileDriven)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
