#pragma once
// What the window's benchmarks share: percentiles, CPU clocks, a wait that serves the
// window's events, and the main window over an in-process virtual bus with its port open.

#include "MainControls.h"
#include "app/CServoMain.h"
#include "plot/CPIC.h"
#include "servo/FeedbackSamples.h"
#include "bus/ServoBus.h"
#include "sim/VirtualBus.h"

#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

inline double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

inline double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// A plot reading `series`, filled to its width with a wave on every channel.
inline void FillPlot(CPIC& plot, FeedbackSamples& series)
{
    plot.SetSeries(&series);
    const int n = plot.Geometry().Capacity();
    for (int i = 0; i < n; ++i) {
        const int wave = (i * 37) % 800 - 400;
        CaptureSample s;
        s.answered = true;
        s.values.position = 2047 + wave * 4;
        s.values.load = wave / 2;
        s.values.speed = -wave;
        s.values.target = 2047 + (i / 40 % 2 ? 1200 : -1200);
        s.values.fastSlow = wave / 3;
        s.values.current = wave / 4;
        series.Add(s);
    }
}

// CPU time of the calling thread: what a paint costs, without the waits of a busy machine
// (helper threads of the image scaling not counted).
inline double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// CPU ticks of each thread of this process, by thread ID.
inline std::map<int, long long> ThreadTicks()
{
    std::map<int, long long> ticks;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        long long utime = 0, stime = 0;
        for (int i = 3; rest >> field; ++i) {
            if (i == 14)
                utime = std::stoll(field);
            if (i == 15) {
                stime = std::stoll(field);
                break;
            }
        }
        ticks[std::stoi(entry.path().filename().string())] = utime + stime;
    }
    return ticks;
}

inline double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The main window over an in-process virtual bus with servo 1 (a Kestrel-12, at 115200
// unless another baud code is given), its port open at the servo's rate.
struct WindowOnBus {
    ModelCatalogue catalogue{"setup.log"};
    VirtualBus bus{catalogue};
    ServoBus servoBus;
    std::unique_ptr<CServoMain> window;

    // Empty when the window's port is open, else what went wrong.
    std::string Open(std::vector<std::pair<uint8_t, uint8_t>> overrides, int timeoutMs,
                     int baudCode = 4)
    {
        static constexpr int kRates[] = {1000000, 500000, 250000, 128000, 115200, 76800, 57600, 38400};
        std::string error;
        ServoSpec spec;
        spec.id = 1;
        spec.model = "Kestrel-12";
        spec.baudCode = baudCode;
        spec.overrides = std::move(overrides);
        if (!bus.AddServo(spec, error) || !bus.Start(error))
            return error;
        servoBus.Run(JobKind::Command, [&](BusAccess& access) { access.SetTimeoutMs(timeoutMs); });
        window = std::make_unique<CServoMain>(servoBus);
        window->AddPortFirst(QString::fromStdString(bus.DevicePath()));
        MainControls(*window).baudCombo->setCurrentText(QString::number(kRates[baudCode]));
        window->show();
        // The port opens on the bus thread; the window hears of it by a queued call.
        QEventLoop opening;
        QObject::connect(window.get(), &CServoMain::PortChanged, &opening, &QEventLoop::quit);
        QTimer::singleShot(5000, &opening, &QEventLoop::quit);
        MainControls(*window).openButton->click();
        if (!window->PortOpen())
            opening.exec();
        return window->PortOpen() ? std::string() : std::string("the port did not open");
    }
};
