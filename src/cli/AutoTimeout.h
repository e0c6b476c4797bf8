#pragma once
// servoctl -t auto: a time-out just long enough for a command's exchange at the port's rate.

#include <string>

// Bytes on the wire for one exchange: the request and the longest reply it expects.
struct Exchange {
    int requestBytes = 0;
    int replyBytes = 0;
};

// The longest packet the bus carries (a length byte of 255), both ways.
inline constexpr Exchange kLongestExchange{259, 259};
// A read of 9 identification bytes: the scan's probe and the identification read.
inline constexpr Exchange kIdentifyExchange{8, 15};

// The adapter's latency to count on: what the port reported, else 16 ms for a USB adapter
// (the usual latency timer) and 1 ms for anything else.
int AdapterLatencyMs(int reportedMs, bool usb);

// Wire time of the exchange at `rate` (10 bits a byte), plus 1 ms of servo return delay,
// plus the adapter's latency, rounded up to whole milliseconds.
int AutoTimeoutMs(Exchange exchange, int rate, int adapterLatencyMs);

// The longest exchange a servoctl command makes: `count` bytes read, `dataBytes` bytes
// written, `servos` in a sync packet of `mode`; commands of the groups get the longest packet.
Exchange CommandExchange(const std::string& command, int count, int dataBytes,
                         const std::string& mode, int servos);
