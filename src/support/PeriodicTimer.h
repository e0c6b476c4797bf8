#pragma once
// A periodic timer whose callback runs on a thread of its own: a millisecond period kept to
// about 1 ms, one tick at a time (a tick that falls due while the callback still runs is
// served right after it, and missed ticks are not piled up). Started with a context, stopped
// through the handle Start returns.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class PeriodicTimer {
public:
    using Callback = void (*)(void* context);

    // A running timer; nothing when the period is not positive or the callback is missing.
    static std::unique_ptr<PeriodicTimer> Start(int periodMs, Callback callback, void* context);

    // Stops the ticks and waits for a running callback to return, so the context may go
    // away afterwards. A callback must therefore never wait for the thread that stops its
    // timer; called from the callback itself, Stop only ends the ticks.
    void Stop();
    ~PeriodicTimer();

    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    long long Ticks() const { return ticks; }

private:
    PeriodicTimer(int periodMs, Callback callback, void* context);
    void Run();

    const std::chrono::milliseconds period;
    const Callback callback;
    void* const context;
    std::atomic<long long> ticks{0};
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

// While one lives, the system's timers keep 1 ms resolution: on Windows it asks for it with
// timeBeginPeriod(1) and hands it back with timeEndPeriod(1), as the default 15.6 ms tick
// would make a 50 ms poll drift by up to 15 ms; elsewhere timers already have it and this
// does nothing. Each timer's thread holds one while it runs.
class TimerResolutionHold {
public:
    TimerResolutionHold();
    ~TimerResolutionHold();
    TimerResolutionHold(const TimerResolutionHold&) = delete;
    TimerResolutionHold& operator=(const TimerResolutionHold&) = delete;

    // How many holds the system granted and has not had back (0 where nothing is asked).
    static int Granted();

private:
    bool granted = false;
};
