#pragma once
// The communication test: reads the same memory block from every servo of an ID range, pass
// after pass, timing each read, counting the unanswered ones per servo and the bytes of the
// answered ones. Each pass is one bus job, so a command given meanwhile goes out between two
// passes and no exchange is cut into.

#include "bus/ServoBus.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// What the test reads, checked and bounded.
struct CommTestPlan {
    int from = 1;
    int to = 17;
    uint8_t startAddress = 0;
    int length = 67;
    int timeoutMs = 50;
};

// From the numbers typed: IDs (a to-ID above 254 is taken as 254), the addresses (each
// modulo 256) and the time-out (0 is taken as 1 ms, so no read waits forever). False when the
// address range is empty or longer than one reply can carry (1..253 bytes).
bool PlanCommTest(int from, int to, int startAddress, int endAddress, int timeoutMs,
                  CommTestPlan& plan);

// Throughput of an answered read in kb/s: bytes × 8 000 000 / µs in 64-bit integers,
// truncated, then / 1000. A read that took under 1 µs counts as 1 µs.
double CommSpeedKbps(int bytes, long long microseconds);

// servoctl's two line formats, each ending in CR LF.
std::string AnsweredLine(int id, long long microseconds, int32_t timeouts, double speed);
std::string UnansweredLine(int id, long long microseconds, int32_t timeouts);
// "通信流量:%dByte"
std::string TrafficText(int32_t total);

// What the test has counted since the last clear; shared by the worker and the clear button.
struct CommTestCounts {
    std::array<std::atomic<int32_t>, 255> timeouts{};
    std::atomic<int32_t> traffic{0};
    void Clear();
};

struct CommTestSample {
    int id = 0;
    long long microseconds = 0;
    bool answered = false;
    int bytes = 0;
    int32_t timeouts = 0;  // the servo's unanswered reads so far, this one included
};

struct CommTestPass {
    std::string text;  // the lines of the pass, in servoctl's words
    int32_t traffic = 0;
    std::vector<CommTestSample> samples;
    // The port went away: the pass ended at that read and the test ends as a failure.
    bool portGone = false;
};

// One pass, inside a bus job. False when it was cut short by `abort` (a window closing) or
// by the bus dropping its work; such a pass counts nothing further and is not reported.
bool RunCommTestPass(BusAccess& access, const CommTestPlan& plan, CommTestCounts& counts,
                     const std::atomic<bool>& abort, CommTestPass& pass);

// Runs passes, each a job on `bus`, until `running` is clear after a pass (at least one), or
// at once when `abort` is set, or after a pass that found the port gone. `passDone` is
// called after each pass on the bus thread and must not wait for another thread. The caller
// waits: not for the window's thread.
void RunCommTest(ServoBus& bus, const CommTestPlan& plan, CommTestCounts& counts,
                 const std::atomic<bool>& running, const std::atomic<bool>& abort,
                 const std::function<void(const CommTestPass&)>& passDone);
