// The bus owner's promises about the jobs it is given: an idle bus runs a job on the caller's
// thread and still one job at a time; a job dropped while queued never runs and has its
// Dropped called; shutdown ends the running job and refuses later ones; a periodic job may
// stop itself for good. The jobs make no exchange, so the port is left closed.
#include "WaitFor.h"
#include "bus/ServoBus.h"
#include "serial/CZNComm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

template <class T>
bool Ready(const std::future<T>& f)
{
    return f.wait_for(10s) == std::future_status::ready;
}

// A job that runs until the bus tells it to stop, as a long job does between exchanges.
struct LongJob {
    std::promise<void> started;
    std::future<void> hasStarted = started.get_future();
    std::atomic<bool> sawStopping{false};
    std::atomic<bool> ended{false};

    ServoBus::Job Job()
    {
        return [this](BusAccess& access) {
            started.set_value();
            sawStopping = WaitFor([&] { return access.Stopping(); });
            ended = true;
        };
    }
};

// Runs a job through Run on a thread of its own; true when Run failed as it does for a job
// dropped unrun.
std::future<bool> RunElsewhere(ServoBus& bus, std::atomic<bool>& ran)
{
    return std::async(std::launch::async, [&bus, &ran] {
        try {
            bus.Run(JobKind::Command, [&ran](BusAccess&) { ran = true; });
            return false;
        } catch (const std::future_error&) {
            return true;
        }
    });
}

void InlineRun(ServoBus& bus)
{
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> inlineEnded{false};
    std::promise<std::pair<std::thread::id, bool>> posted;  // its thread, inline job ended
    auto after = posted.get_future();
    const int result = bus.Run(JobKind::Command, [&](BusAccess& access) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        EXPECT_TRUE(bus.OnBusThread());
        EXPECT_FALSE(access.Stopping());
        EXPECT_EQ(bus.Pending(), 1);  // the inline job holds the bus
        bus.Post(JobKind::Command, [&](BusAccess&) {
            posted.set_value({std::this_thread::get_id(), inlineEnded.load()});
        });
        EXPECT_EQ(bus.Pending(), 2);
        inlineEnded = true;
        return 42;
    });
    EXPECT_EQ(result, 42);
    EXPECT_FALSE(bus.OnBusThread());
    ASSERT_TRUE(Ready(after));
    const auto [thread, afterInline] = after.get();
    EXPECT_NE(thread, caller);  // a posted job runs on the bus's thread
    EXPECT_TRUE(afterInline);   // and never beside the inline one
}

void DropWhileQueued(ServoBus& bus)
{
    LongJob running;
    ASSERT_TRUE(bus.Post(JobKind::Transfer, running.Job()));
    ASSERT_TRUE(Ready(running.hasStarted));
    std::atomic<bool> queuedRan{false}, runRan{false};
    std::atomic<int> dropped{0};
    std::thread::id droppedOn;
    ASSERT_TRUE(bus.Post(JobKind::Command, [&](BusAccess&) { queuedRan = true; }, [&] {
        ++dropped;
        droppedOn = std::this_thread::get_id();
    }));
    auto runFailed = RunElsewhere(bus, runRan);
    ASSERT_TRUE(WaitFor([&] { return bus.Pending() == 3; }));
    bus.DropAndWait();
    EXPECT_TRUE(running.ended);  // DropAndWait waits for the running job
    EXPECT_TRUE(running.sawStopping);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(droppedOn, std::this_thread::get_id());
    ASSERT_TRUE(Ready(runFailed));
    EXPECT_TRUE(runFailed.get());
    // The bus goes on: a job after the drop runs, and is not told to stop.
    EXPECT_FALSE(bus.Run(JobKind::Command, [](BusAccess& access) { return access.Stopping(); }));
    std::promise<bool> later;
    auto laterStopping = later.get_future();
    bus.Post(JobKind::Command, [&](BusAccess& access) { later.set_value(access.Stopping()); });
    ASSERT_TRUE(Ready(laterStopping));
    EXPECT_FALSE(laterStopping.get());
    EXPECT_FALSE(queuedRan);
    EXPECT_FALSE(runRan);
}

void ShutdownWhileRunning(ServoBus& bus)
{
    LongJob running;
    ASSERT_TRUE(bus.Post(JobKind::Search, running.Job()));
    ASSERT_TRUE(Ready(running.hasStarted));
    std::atomic<bool> queuedRan{false}, runRan{false};
    std::atomic<int> dropped{0};
    ASSERT_TRUE(bus.Post(JobKind::Command, [&](BusAccess&) { queuedRan = true; }, [&] { ++dropped; }));
    auto runFailed = RunElsewhere(bus, runRan);
    ASSERT_TRUE(WaitFor([&] { return bus.Pending() == 3; }));
    bus.Shutdown();
    EXPECT_TRUE(running.ended);  // Shutdown returns once the running job has ended
    EXPECT_TRUE(running.sawStopping);
    EXPECT_EQ(dropped, 1);
    ASSERT_TRUE(Ready(runFailed));
    EXPECT_TRUE(runFailed.get());
    // Refused from now on: Post says so and calls Dropped at once, Run fails as documented.
    EXPECT_FALSE(bus.Post(JobKind::Command, [&](BusAccess&) { queuedRan = true; }, [&] { ++dropped; }));
    EXPECT_EQ(dropped, 2);
    EXPECT_THROW(bus.Run(JobKind::Command, [&](BusAccess&) { runRan = true; }), std::future_error);
    EXPECT_FALSE(queuedRan);
    EXPECT_FALSE(runRan);
    EXPECT_EQ(bus.Pending(), 0);
}

void PeriodicStopsItself(ServoBus& bus)
{
    constexpr int kRuns = 3;
    std::atomic<int> runs{0};
    std::unique_ptr<ServoBus::Periodic> poll;
    poll = bus.Every(1ms, [&](BusAccess&) {
        if (++runs >= kRuns)
            poll->Stop();
    }, false);
    poll->Start();
    ASSERT_TRUE(WaitFor([&] { return runs >= kRuns && !poll->Running(); }));
    // A second poll, started later with the same period, is due no sooner than the first
    // would be: its runs show that the first one stays stopped.
    std::atomic<int> witness{0};
    auto other = bus.Every(1ms, [&](BusAccess&) { ++witness; });
    ASSERT_TRUE(WaitFor([&] { return witness >= 3; }));
    other->Stop();
    EXPECT_EQ(runs, kRuns);
    // Stopped from its own job, it starts again.
    poll->Start();
    EXPECT_TRUE(WaitFor([&] { return runs > kRuns && !poll->Running(); }));
    bus.DropAndWait();
}

struct Case {
    const char* name;
    void (*scenario)(ServoBus&);
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

const Case kCases[] = {
    {"InlineRun", InlineRun},
    {"DropWhileQueued", DropWhileQueued},
    {"ShutdownWhileRunning", ShutdownWhileRunning},
    {"PeriodicStopsItself", PeriodicStopsItself},
};

class ServoBusTest : public testing::TestWithParam<Case> {
protected:
    CZNComm port;
    ServoBus bus{port};
};

TEST_P(ServoBusTest, KeepsItsPromise)
{
    GetParam().scenario(bus);
}

INSTANTIATE_TEST_SUITE_P(Jobs, ServoBusTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
