#pragma once
// The automatic time-out (servoctl -t auto, the Python module's "auto"): just long enough for
// a command's exchange at the port's rate.

#include "serial/Port.h"

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
// An adapter whose latency timer is longer than this makes every short exchange wait for it
// (a scan of 254 IDs, a 20 Hz poll): the faces say so when the port opens.
inline constexpr int kQuickAdapterMs = 2;
inline bool SlowAdapter(const PortTiming& timing) { return timing.latencyMs > kQuickAdapterMs; }
// What an exchange loses outside the wire on a port: the adapter's latency, and a network
// port's measured round trip to its server with an allowance for the server's scheduling, in
// whole milliseconds.
int LinkDelayMs(const PortTiming& timing);

// Wire time of the exchange at `rate` (10 bits a byte), plus 1 ms of servo return delay,
// plus the adapter's latency, rounded up to whole milliseconds.
int AutoTimeoutMs(Exchange exchange, int rate, int adapterLatencyMs);
// The automatic time-out of every face (servoctl -t auto, the Python module's "auto", the
// scan's): the exchange at `rate` on a port of this timing (LinkDelayMs).
int AutoTimeoutMs(Exchange exchange, int rate, const PortTiming& timing);

// The longest exchange of each command; a command that identifies its servo first counts
// the identification read too.
// A read of `count` bytes.
Exchange ReadExchange(int count);
// The action packet: no reply.
inline constexpr Exchange kActionExchange{6, 0};
// A write of `dataBytes` bytes to one servo.
Exchange WriteExchange(int dataBytes);
// A position command (block of 7 bytes) or the torque switch (1 byte) to one servo, or in a
// sync packet to `servos` servos.
Exchange ServoCommandExchange(int blockBytes, bool sync, int servos);
inline constexpr int kPositionBlockBytes = 7;
inline constexpr int kTorqueBlockBytes = 1;
