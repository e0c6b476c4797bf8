#include "servo/CommTest.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr int kLastId = 254;
constexpr int kMaxReadLength = 253;
// The 8 bytes of the read request and the 6 framing bytes of the reply.
constexpr int kFramingBytes = 14;

std::string Format(const char* format, auto... values)
{
    char buffer[160];
    const int n = std::snprintf(buffer, sizeof buffer, format, values...);
    return std::string(buffer, static_cast<size_t>(std::clamp(n, 0, int(sizeof buffer) - 1)));
}

}  // namespace

bool PlanCommTest(int from, int to, int startAddress, int endAddress, int timeoutMs,
                  CommTestPlan& plan)
{
    plan.from = std::max(from, 0);
    plan.to = std::min(to, kLastId);
    const int start = ((startAddress % 256) + 256) % 256;
    const int end = ((endAddress % 256) + 256) % 256;
    plan.startAddress = static_cast<uint8_t>(start);
    plan.length = end - start + 1;
    plan.timeoutMs = std::max(timeoutMs, 1);
    return plan.length >= 1 && plan.length <= kMaxReadLength;
}

double CommSpeedKbps(int bytes, long long microseconds)
{
    const long long us = std::max(microseconds, 1LL);
    const long long bitsPerSecond = static_cast<long long>(bytes) * 8000000LL / us;
    return static_cast<double>(bitsPerSecond) / 1000.0;
}

std::string AnsweredLine(int id, long long microseconds, int32_t timeouts, double speed)
{
    return Format("舵机ID:%d  响应时间:%dus, 超时次数:%d 通信速度:%.2fkb/s\r\n", id,
                  static_cast<int>(microseconds), static_cast<int>(timeouts), speed);
}

std::string UnansweredLine(int id, long long microseconds, int32_t timeouts)
{
    return Format("舵机ID:%d  响应时间:%dus, 超时次数:%d\r\n", id,
                  static_cast<int>(microseconds), static_cast<int>(timeouts));
}

std::string TrafficText(int32_t total)
{
    return Format("通信流量:%dByte", static_cast<int>(total));
}

void CommTestCounts::Clear()
{
    for (auto& c : timeouts)
        c = 0;
    traffic = 0;
}

bool RunCommTestPass(BusAccess& access, const CommTestPlan& plan, CommTestCounts& counts,
                     const std::atomic<bool>& abort, CommTestPass& pass)
{
    using Clock = std::chrono::steady_clock;
    std::vector<uint8_t> buffer(static_cast<size_t>(plan.length));
    const int bytes = plan.length + kFramingBytes;
    const auto passStart = Clock::now();
    pass = CommTestPass{};
    for (int id = plan.from; id <= plan.to; ++id) {
        if (abort || access.Stopping())
            return false;
        // The test's time-out holds for this read only.
        Clock::time_point t0, t1;
        Reply reply;
        {
            const ZNS::ReplyTimeout wait(access.protocol, plan.timeoutMs);
            t0 = Clock::now();
            reply = access.protocol.ReadMemory(static_cast<uint8_t>(id), plan.startAddress,
                                               buffer.data(), static_cast<uint8_t>(plan.length));
            t1 = Clock::now();
        }
        const bool answered = reply.ok();
        const long long us = std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count();
        auto& counted = counts.timeouts[static_cast<size_t>(id)];
        const int32_t timeouts = answered ? counted.load() : ++counted;
        if (answered) {
            pass.text += AnsweredLine(id, us, timeouts, CommSpeedKbps(bytes, us));
            counts.traffic += bytes;
        } else {
            pass.text += UnansweredLine(id, us, timeouts);
        }
        pass.samples.push_back({id, us, answered, answered ? bytes : 0, timeouts});
        if (reply.outcome == Outcome::PortGone) {
            pass.portGone = true;  // the other IDs would fail alike
            break;
        }
    }
    pass.traffic = counts.traffic;
    // A pass with nothing to wait for (no IDs, or a closed port that fails every read at
    // once) would otherwise spin a processor and flood the window with results.
    const auto least = passStart + std::chrono::milliseconds(1);
    if (Clock::now() < least)
        std::this_thread::sleep_until(least);
    return true;
}

void RunCommTest(ServoBus& bus, const CommTestPlan& plan, CommTestCounts& counts,
                 const std::atomic<bool>& running, const std::atomic<bool>& abort,
                 const std::function<void(const CommTestPass&)>& passDone)
{
    do {
        const bool whole = bus.Run(JobKind::Test, [&](BusAccess& access) {
            CommTestPass pass;
            if (!RunCommTestPass(access, plan, counts, abort, pass))
                return false;
            passDone(pass);
            return !pass.portGone;
        });
        if (!whole)
            return;
    } while (running && !abort);
}
