#include "servo/AutoTimeout.h"

#include "protocol/ZNS.h"

#include <algorithm>

namespace {

constexpr int kReturnDelayMs = 1;
constexpr int kUnknownUsbLatencyMs = 16;
constexpr int kOtherLatencyMs = 1;
constexpr int kNoRateMs = 100;  // the port's default, for a rate nothing can be counted with
// A network port's exchange also waits for the server's process to be scheduled, twice; its
// round trip measured at open is the best case, so each exchange is given this much more.
constexpr int kServerAllowanceMs = 10;

// FF FF ID LEN INSTR ADDRESS data CHK
constexpr Exchange WriteOf(int dataBytes) { return {7 + dataBytes, kStatusPacketSize}; }
// The identification read comes first, then the command's own exchange.
constexpr Exchange AfterIdentify(Exchange e)
{
    return {std::max(e.requestBytes, kIdentifyExchange.requestBytes),
            std::max(e.replyBytes, kIdentifyExchange.replyBytes)};
}

}  // namespace

int AdapterLatencyMs(int reportedMs, bool usb)
{
    if (reportedMs >= 0)
        return reportedMs;
    return usb ? kUnknownUsbLatencyMs : kOtherLatencyMs;
}

int LinkDelayMs(const PortTiming& timing)
{
    const int network = timing.roundTripUs > 0 ? (timing.roundTripUs + 999) / 1000 + kServerAllowanceMs : 0;
    return AdapterLatencyMs(timing.latencyMs, timing.usb) + network;
}

int AutoTimeoutMs(Exchange exchange, int rate, int adapterLatencyMs)
{
    if (rate <= 0)
        return kNoRateMs;
    const long long bits = 10LL * (exchange.requestBytes + exchange.replyBytes);
    const long long extraMs = kReturnDelayMs + std::max(adapterLatencyMs, 0);
    // ceil(bits / rate s + extra ms) in whole milliseconds, in integers.
    return static_cast<int>((bits * 1000 + extraMs * rate + rate - 1) / rate);
}

int AutoTimeoutMs(Exchange exchange, int rate, const PortTiming& timing)
{
    return AutoTimeoutMs(exchange, rate, LinkDelayMs(timing));
}

Exchange ReadExchange(int count)
{
    return {8, kReplyHeadSize + count + 1};
}

Exchange WriteExchange(int dataBytes)
{
    return AfterIdentify(WriteOf(dataBytes));
}

Exchange ServoCommandExchange(int blockBytes, bool sync, int servos)
{
    if (sync)  // FF FF FE LEN 83 ADDRESS L, then ID and block per servo, CHK
        return AfterIdentify({8 + (blockBytes + 1) * std::max(servos, 0), 0});
    return AfterIdentify(WriteOf(blockBytes));
}
