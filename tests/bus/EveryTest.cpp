// The bus owner's periodic jobs: they run on the bus's thread, and a job may stop its own
// poll while the window's thread stops it too.
#include "WaitFor.h"
#include "bus/ServoBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(Every, RunsOnTheBusThreadUntilStopped)
{
    ServoBus bus;
    std::atomic<int> runs{0};
    std::atomic<bool> onBus{true};
    auto poll = bus.Every(1ms, [&](BusAccess& access) {
        onBus = onBus && bus.OnBusThread() && access.kind == JobKind::Poll;
        ++runs;
    });
    ASSERT_TRUE(WaitFor([&] { return runs >= 3; }));
    poll->Stop();
    EXPECT_FALSE(poll->Running());
    const int stopped = bus.Run(JobKind::Command, [&](BusAccess&) { return runs.load(); });
    EXPECT_EQ(bus.Run(JobKind::Command, [&](BusAccess&) { return runs.load(); }), stopped);
    EXPECT_TRUE(onBus);
    poll->Start();
    EXPECT_TRUE(WaitFor([&] { return runs > stopped; }));
}

// A poll that stops itself from its own job: the job ends, the poll reads as stopped, and it
// restarts and goes without ending the program; the window's thread may stop it at the same
// moment.
TEST(Every, AJobMayStopItsOwnPoll)
{
    ServoBus bus;
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> runs{0};
        std::unique_ptr<ServoBus::Periodic> poll;
        std::atomic<bool> ready{false};
        poll = bus.Every(1ms, [&](BusAccess&) {
            while (!ready)
                std::this_thread::yield();
            ++runs;
            poll->Stop();
        });
        ready = true;
        if (round % 2)
            poll->Stop();  // the window's thread too
        ASSERT_TRUE(WaitFor([&] { return !poll->Running(); }));
        bus.Run(JobKind::Command, [](BusAccess&) {});  // a job already queued has run
        EXPECT_LE(runs, 1);
        if (round % 5 == 0) {
            const int before = runs;
            poll->Start();
            EXPECT_TRUE(WaitFor([&] { return runs > before && !poll->Running(); }));
        }
        bus.DropAndWait();
        poll.reset();
    }
}

// A capture (period zero) runs back to back, and a command submitted during it goes out
// after the capture's job running at that moment, before any other.
TEST(Every, ACommandDuringACaptureWaitsForOneJobAtMost)
{
    ServoBus bus;
    std::atomic<int> runs{0};
    std::atomic<int> startedBehind{0};  // capture jobs begun with the command queued
    auto capture = bus.Every(0ms, [&](BusAccess&) {
        if (bus.Pending() > 1)
            ++startedBehind;
        ++runs;
    });
    for (int round = 0; round < 200; ++round) {
        const int ahead = bus.Run(JobKind::Command, [&](BusAccess&) { return startedBehind.exchange(0); });
        // At most the one queued before it; the one running when it came is not counted.
        EXPECT_LE(ahead, 1);
    }
    EXPECT_TRUE(WaitFor([&] { return runs > 1000; }));
}

}  // namespace
