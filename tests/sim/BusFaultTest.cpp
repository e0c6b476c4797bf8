// Exchanges on a virtual bus that drops, delays or corrupts: for each time-out (0 stands for
// the bounded default), each fault and each operation, the call ends within its bound
// without spinning and succeeds only with an answer in time; once the fault is gone the
// next exchange reads exactly what the servo holds, whatever came late.
#include "BusFixture.h"

#include <chrono>
#include <ctime>
#include <string>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

enum class BusFault { Drop, Delay, Corrupt };
enum class BusOp { Read, WriteWithStatus, SyncWrite };

struct BusCase {
    int timeoutMs;
    BusFault fault;
    BusOp op;
};

// Longer than the short time-outs, shorter than the bounded default.
constexpr int kDelayMs = 200;

std::string Name(const testing::TestParamInfo<BusCase>& info)
{
    const char* faults[] = {"Drop", "Delay", "Corrupt"};
    const char* ops[] = {"Read", "WriteWithStatus", "SyncWrite"};
    return std::string(ops[static_cast<int>(info.param.op)]) + "_" +
           faults[static_cast<int>(info.param.fault)] + "_" +
           std::to_string(info.param.timeoutMs) + "ms";
}

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class BusFaults : public BusFixture, public testing::WithParamInterface<BusCase> {};

TEST_P(BusFaults, EndInTimeAndTheNextExchangeIsExact)
{
    const BusCase c = GetParam();
    AddServo(1, kKestrel);
    AddServo(2, kKestrel);
    StartBus();
    comm.OverrideTimeout(c.timeoutMs);
    profile.statusLevel = 1;
    switch (c.fault) {
    case BusFault::Drop:
        bus->SetDropShare(1.0);
        break;
    case BusFault::Delay:
        bus->SetReplyDelayMs(kDelayMs);
        break;
    case BusFault::Corrupt:
        bus->SetCorruptShare(1.0);
        break;
    }

    const double cpuBefore = ThreadCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    int result = 0;
    uint8_t key[9] = {};
    const uint8_t ids[] = {1, 2};
    switch (c.op) {
    case BusOp::Read:
        result = servo.ReadMemory(1, 0, key, 9).count;
        break;
    case BusOp::WriteWithStatus:
        result = servo.WriteByte(profile, 1, 41, 7).ok();
        break;
    case BusOp::SyncWrite:
        result = servo.SyncWritePosition(profile, ids, 2, 100, 5, 0, 0).ok();
        break;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const int effectiveMs = c.timeoutMs > 0 ? c.timeoutMs : CZNComm::kUnboundedTimeoutCapMs;
    // At most one write and three reads, each within its time-out; the margin only tells a
    // slow machine from a hang.
    EXPECT_LT(wall, 4 * effectiveMs / 1000.0 + 3.0);
    EXPECT_LT(ThreadCpuSeconds() - cpuBefore, wall / 2 + 0.05) << "the call spun";

    const bool inTime = c.fault == BusFault::Delay && effectiveMs > kDelayMs + 100;
    if (c.op == BusOp::SyncWrite) {
        EXPECT_EQ(result, 1);  // awaits nothing
    } else if (c.fault == BusFault::Drop || (c.fault == BusFault::Delay && !inTime)) {
        EXPECT_EQ(result, 0);
    } else if (inTime) {
        EXPECT_EQ(result, c.op == BusOp::Read ? 9 : 1);
    }
    // Every packet corrupted: the request is refused by the servo, or its reply fails a check;
    // either way nothing of it is taken.
    if (c.op != BusOp::SyncWrite && c.fault == BusFault::Corrupt) {
        EXPECT_EQ(result, 0);
    }

    const ServoMemory memory = MemoryOf(1);
    const Bytes servoKey(memory.begin(), memory.begin() + 9);
    if (inTime && c.op == BusOp::Read) {
        EXPECT_EQ(Bytes(key, key + 9), servoKey);
    }

    // The fault goes; whatever was late arrives before the next exchange, which must read
    // the servo's own bytes.
    bus->SetDropShare(0);
    bus->SetReplyDelayMs(0);
    bus->SetCorruptShare(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(kDelayMs + 150));
    comm.OverrideTimeout(1000);
    uint8_t again[9] = {};
    EXPECT_EQ(servo.ReadMemory(1, 0, again, 9).count, 9);
    EXPECT_EQ(Bytes(again, again + 9), servoKey);
}

std::vector<BusCase> AllBusCases()
{
    std::vector<BusCase> cases;
    for (int timeout : {0, 1, 50})
        for (BusFault fault : {BusFault::Drop, BusFault::Delay, BusFault::Corrupt})
            for (BusOp op : {BusOp::Read, BusOp::WriteWithStatus, BusOp::SyncWrite})
                cases.push_back({timeout, fault, op});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(VirtualBus, BusFaults, testing::ValuesIn(AllBusCases()), Name);

}  // namespace
