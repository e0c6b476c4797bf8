#include "support/PeriodicTimer.h"

std::unique_ptr<PeriodicTimer> PeriodicTimer::Start(int periodMs, Callback callback, void* context)
{
    if (periodMs <= 0 || callback == nullptr)
        return nullptr;
    std::unique_ptr<PeriodicTimer> timer(new PeriodicTimer(periodMs, callback, context));
    timer->thread = std::thread([t = timer.get()] { t->Run(); });
    return timer;
}

PeriodicTimer::PeriodicTimer(int periodMs, Callback cb, void* ctx)
    : period(periodMs), callback(cb), context(ctx)
{
}

PeriodicTimer::~PeriodicTimer()
{
    Stop();
}

void PeriodicTimer::Stop()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        return;  // from the callback: the loop ends when it returns
    thread.join();
}

void PeriodicTimer::Run()
{
    using Clock = std::chrono::steady_clock;
    const TimerResolutionHold resolution;  // while the ticks run, and handed back however they end
    auto due = Clock::now() + period;
    std::unique_lock lock(mutex);
    for (;;) {
        if (wake.wait_until(lock, due, [this] { return stopping.load(); }))
            return;
        lock.unlock();
        callback(context);
        ++ticks;
        lock.lock();
        due += period;
        const auto now = Clock::now();
        if (due < now)
            due = now;  // a long tick: the next one follows at once, the missed ones are dropped
    }
}
