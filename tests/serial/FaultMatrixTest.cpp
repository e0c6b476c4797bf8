// Every exchange on a faulty line, over the real port on a pseudo-terminal: for each time-out
// (0 stands for the bounded default), each fault and each operation, the call comes back
// within its bound without burning a core, reports failure where it awaited an answer, and
// leaves nothing behind that the next exchange could take for its reply.
#include "PtyPair.h"
#include "protocol/ZNS.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <future>
#include <string>
#include <thread>

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

enum class Fault {
    Silence,  // the far end hears the request and never answers; the answer comes too late
    Partial,  // half an answer in time, the rest too late
    Garbage,  // noise before the request, a few junk bytes after it, more junk too late
    Vanish,   // the device is gone (an adapter pulled out)
};

enum class Op {
    Read,             // ReadMemory: 5 + n + 1 bytes expected
    WriteWithStatus,  // WriteByte with statusLevel 1: a 6-byte status expected
    SyncWrite,        // SyncWritePosition: nothing expected
    // The firmware upgrade's byte exchange on the port: a 70-byte block out, one answer
    // byte back, as the loader talks at 500000 bit/s. The upgrade page's own transfer takes
    // this place once it exists.
    LoaderByte,
};

struct Case {
    int timeoutMs;
    Fault fault;
    Op op;
};

std::string Name(const testing::TestParamInfo<Case>& info)
{
    const char* faults[] = {"Silence", "Partial", "Garbage", "Vanish"};
    const char* ops[] = {"Read", "WriteWithStatus", "SyncWrite", "LoaderByte"};
    return std::string(ops[static_cast<int>(info.param.op)]) + "_" +
           faults[static_cast<int>(info.param.fault)] + "_" +
           std::to_string(info.param.timeoutMs) + "ms";
}

const Bytes kKey{5, 3, 0, 12, 1, 1, 4, 0, 1};
const Bytes kKeyReply{0xFF, 0xFF, 1, 11, 0, 5, 3, 0, 12, 1, 1, 4, 0, 1, 0xD8};
const Bytes kReadKey{0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEF};
const Bytes kStatus{0xFF, 0xFF, 1, 2, 0, 0xFC};
const uint8_t kSyncIds[] = {1, 2, 3};

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// What the operation sends, what a full answer is, and how many blocking port calls it
// makes at most (each bounded by the time-out).
struct OpShape {
    size_t requestSize;
    Bytes answer;
    int portCalls;
};

OpShape ShapeOf(Op op)
{
    switch (op) {
    case Op::Read:
        return {8, kKeyReply, 4};
    case Op::WriteWithStatus:
        return {8, kStatus, 2};
    case Op::SyncWrite:
        return {7 + 3 * 8 + 1, kStatus, 4};  // the port sees one write per group and the end
    case Op::LoaderByte:
        return {70, {0x43}, 2};
    }
    return {};
}

class FaultMatrix : public testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        ASSERT_EQ(comm.Open(pty.path), 1);
        comm.SetBaudRate(GetParam().op == Op::LoaderByte ? 500000 : 115200);
        comm.OverrideTimeout(GetParam().timeoutMs);
        profile.statusLevel = 1;
    }

    int Call(Op op)
    {
        switch (op) {
        case Op::Read: {
            uint8_t key[9] = {};
            return servo.ReadMemory(1, 0, key, 9).count;
        }
        case Op::WriteWithStatus:
            return servo.WriteByte(profile, 1, 40, 1).ok();
        case Op::SyncWrite:
            return servo.SyncWritePosition(profile, kSyncIds, 3, 2048, 0, 500, 0).ok();
        case Op::LoaderByte: {
            const Bytes block(70, 0x5A);
            if (comm.Write(block.data(), 70) != 70)
                return 0;
            uint8_t answer = 0;
            return comm.Read(&answer, 1) == 1 && answer == 0x43 ? 1 : 0;
        }
        }
        return 0;
    }

    PtyPair pty;
    CZNComm comm;
    ZNS servo{comm};
    ServoProfile profile;  // how the tests' commands are coded
};

TEST_P(FaultMatrix, EndsInTimeFailsCleanlyAndLeavesNothingStale)
{
    const Case c = GetParam();
    const OpShape shape = ShapeOf(c.op);
    const Bytes half(shape.answer.begin(), shape.answer.begin() + shape.answer.size() / 2);
    const Bytes rest(shape.answer.begin() + shape.answer.size() / 2, shape.answer.end());
    const Bytes junk{0xFF, 0x00, 0xFF, 0x13};

    if (c.fault == Fault::Vanish) {
        pty.CloseMaster();
    } else if (c.fault == Fault::Garbage) {
        pty.Send({0xFF, 0xFF, 0x01, 0x0B, 0x00, 0x42, 0x42});
        std::this_thread::sleep_for(20ms);
    }

    // The far end: hears the request, then misbehaves as the fault says.
    std::promise<void> heard;
    std::thread far;
    if (c.fault != Fault::Vanish) {
        far = std::thread([&] {
            pty.Receive(shape.requestSize, 2000);
            if (c.fault == Fault::Partial)
                pty.Send(half);
            else if (c.fault == Fault::Garbage)
                pty.Send(junk);
            heard.set_value();
        });
    }

    const double cpuBefore = ThreadCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    const int result = Call(c.op);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double cpu = ThreadCpuSeconds() - cpuBefore;

    // The bound: every blocking port call waits at most its time-out. The margin only
    // separates a slow machine from a hang.
    const int effectiveMs = c.timeoutMs > 0 ? c.timeoutMs : CZNComm::kUnboundedTimeoutCapMs;
    EXPECT_LT(wall, shape.portCalls * effectiveMs / 1000.0 + 3.0);
    EXPECT_LT(cpu, wall / 2 + 0.05) << "the call spun instead of waiting";

    // A sync write awaits nothing, so only a vanished device makes it fail.
    const bool awaitsAnswer = c.op != Op::SyncWrite;
    EXPECT_EQ(result, awaitsAnswer || c.fault == Fault::Vanish ? 0 : 1);

    if (c.fault == Fault::Vanish) {
        // Still failing, still not spinning, on a second try.
        const double cpu2 = ThreadCpuSeconds();
        const auto wall2 = std::chrono::steady_clock::now();
        EXPECT_EQ(Call(c.op), 0);
        const double w =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall2).count();
        EXPECT_LT(ThreadCpuSeconds() - cpu2, w / 2 + 0.05);
        return;
    }

    // What comes too late lands in the receive queue before the next exchange.
    heard.get_future().wait();
    far.join();
    if (c.fault == Fault::Silence)
        pty.Send(shape.answer);
    else if (c.fault == Fault::Partial)
        pty.Send(rest);
    else
        pty.Send(junk);
    std::this_thread::sleep_for(30ms);

    // The next exchange gets its own answer, whole and exact.
    comm.OverrideTimeout(1000);
    std::thread next([&] {
        EXPECT_EQ(pty.Receive(kReadKey.size(), 2000), kReadKey);
        pty.Send(kKeyReply);
    });
    uint8_t key[9] = {};
    EXPECT_EQ(servo.ReadMemory(1, 0, key, 9).count, 9);
    next.join();
    EXPECT_EQ(Bytes(key, key + 9), kKey);
}

std::vector<Case> AllCases()
{
    std::vector<Case> cases;
    for (int timeout : {0, 1, 50})
        for (Fault fault : {Fault::Silence, Fault::Partial, Fault::Garbage, Fault::Vanish})
            for (Op op : {Op::Read, Op::WriteWithStatus, Op::SyncWrite, Op::LoaderByte})
                cases.push_back({timeout, fault, op});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Line, FaultMatrix, testing::ValuesIn(AllCases()), Name);

}  // namespace
