#include "support/PeriodicTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct Probe {
    std::atomic<int> calls{0};
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::thread::id thread;
    std::chrono::milliseconds work{0};
};

void Tick(void* context)
{
    auto* p = static_cast<Probe*>(context);
    if (p->inside.fetch_add(1) != 0)
        ++p->overlaps;
    if (p->calls == 0)
        p->thread = std::this_thread::get_id();
    std::this_thread::sleep_for(p->work);
    ++p->calls;
    --p->inside;
}

TEST(PeriodicTimer, TicksOnItsOwnThreadUntilStopped)
{
    Probe probe;
    auto timer = PeriodicTimer::Start(5, Tick, &probe);
    ASSERT_TRUE(timer);
    while (probe.calls < 5)
        std::this_thread::sleep_for(1ms);
    timer->Stop();
    const int after = probe.calls;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(probe.calls, after);
    EXPECT_NE(probe.thread, std::this_thread::get_id());
    EXPECT_EQ(timer->Ticks(), after);
    timer->Stop();  // a second stop does nothing
}

TEST(PeriodicTimer, OneTickAtATime)
{
    Probe probe;
    probe.work = 12ms;  // longer than the period
    auto timer = PeriodicTimer::Start(2, Tick, &probe);
    while (probe.calls < 6)
        std::this_thread::sleep_for(1ms);
    timer.reset();
    EXPECT_EQ(probe.overlaps, 0);
    EXPECT_EQ(probe.inside, 0);  // the stop waited for the running tick
}

TEST(PeriodicTimer, RefusesNonsense)
{
    Probe probe;
    EXPECT_FALSE(PeriodicTimer::Start(0, Tick, &probe));
    EXPECT_FALSE(PeriodicTimer::Start(-5, Tick, &probe));
    EXPECT_FALSE(PeriodicTimer::Start(5, nullptr, &probe));
}

struct SelfStop {
    std::unique_ptr<PeriodicTimer> timer;
    std::atomic<int> calls{0};
    std::atomic<bool> ready{false};
};

TEST(PeriodicTimer, CanBeStoppedFromItsOwnCallback)
{
    SelfStop s;
    s.timer = PeriodicTimer::Start(
        2,
        [](void* c) {
            auto* self = static_cast<SelfStop*>(c);
            while (!self->ready)
                std::this_thread::yield();
            ++self->calls;
            self->timer->Stop();
        },
        &s);
    s.ready = true;
    std::this_thread::sleep_for(40ms);
    EXPECT_EQ(s.calls, 1);
    s.timer->Stop();  // joins the ended thread before the handle is let go
    s.timer.reset();
}

// Every 1 ms resolution request a timer makes on Windows is handed back (wine answers the
// requests as Windows does); elsewhere no request is made.
TEST(TimerResolution, EveryRequestIsHandedBack)
{
#ifdef _WIN32
    const int perTimer = 1;
#else
    const int perTimer = 0;
#endif
    auto waitFor = [](int granted) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (TimerResolutionHold::Granted() != granted && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return TimerResolutionHold::Granted();
    };
    Probe probe;
    {
        auto a = PeriodicTimer::Start(5, Tick, &probe);
        auto b = PeriodicTimer::Start(5, Tick, &probe);
        EXPECT_EQ(waitFor(2 * perTimer), 2 * perTimer);
        a->Stop();
        EXPECT_EQ(TimerResolutionHold::Granted(), perTimer);
    }
    EXPECT_EQ(TimerResolutionHold::Granted(), 0);
}

}  // namespace
