#pragma once
// Link statistics: what every exchange on the bus came to, whoever made it (the bus's own
// jobs, polls, a shared bus's clients), per servo ID and for the bus as a whole. Fed by the
// protocol's packet tap on the thread running the exchange, into fixed-size counters (no
// allocation per exchange); any thread reads a copy, under a lock held only for the update
// or the copy.

#include "protocol/PacketTap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

// Latencies from the end of a request to the end of its reply, in log-spaced buckets: eight
// a decade from 1 µs; the last bucket holds everything from 1 s on.
inline constexpr int kLatencyBucketsPerDecade = 8;
inline constexpr int kLatencyBuckets = 6 * kLatencyBucketsPerDecade + 1;

struct IdLinkStats {
    // Exchanges that awaited a reply from this ID, and what they came to. A time-out is no
    // reply or one cut short; a malformed reply failed its header, length or ID check.
    uint64_t requests = 0;
    uint64_t answered = 0;
    uint64_t timeouts = 0;
    uint64_t checksumErrors = 0;
    uint64_t malformed = 0;
    uint64_t latencyMaxUs = 0;
    uint64_t latencySumUs = 0;
    // When the last answer came, in microseconds since the statistics began (-1: none yet).
    int64_t lastAnswerUs = -1;
    std::array<uint32_t, kLatencyBuckets> latency{};

    // The latency under which `share` (0..1) of the answers came, at its bucket's upper edge
    // (never above the largest seen); 0 without answers.
    uint64_t LatencyPercentileUs(double share) const;
};

// Exchanges, bytes each way and the wire time they took, over some stretch of time.
struct LinkRates {
    double seconds = 0;  // the stretch they cover
    uint64_t exchanges = 0;
    uint64_t bytesOut = 0;
    uint64_t bytesIn = 0;
    uint64_t wireUs = 0;  // the bytes' wire time at the line's rate, 10 bits a byte

    double ExchangesPerSecond() const { return seconds > 0 ? exchanges / seconds : 0; }
    double BytesOutPerSecond() const { return seconds > 0 ? bytesOut / seconds : 0; }
    double BytesInPerSecond() const { return seconds > 0 ? bytesIn / seconds : 0; }
    // The share of the time the line carried bytes (0 when its rate is unknown, as on a
    // network port).
    double BusyShare() const { return seconds > 0 ? std::min(1.0, wireUs / 1e6 / seconds) : 0; }
};

struct BusLinkStats {
    LinkRates lastSecond;
    LinkRates sinceStart;  // since the port opened, or since the last reset
};

// A copy of everything, for a face.
struct LinkSnapshot {
    std::array<IdLinkStats, 254> ids{};
    BusLinkStats bus;
};

class LinkStats : public PacketTap {
public:
    LinkStats();

    void Packet(const PacketView& packet) override;
    // Whom each packet goes on to (the traffic record while it is traced), or nobody.
    void Forward(PacketTap* next) { forward.store(next, std::memory_order_relaxed); }
    // The line's rate in bits a second (0: unknown), for the wire time.
    void SetRate(int bitsPerSecond) { rate.store(bitsPerSecond, std::memory_order_relaxed); }
    // Everything back to zero; the stretch "since start" starts now (the port opened, or
    // the user asked).
    void Reset();

    LinkSnapshot Copy() const;
    IdLinkStats Of(uint8_t id) const;
    BusLinkStats Bus() const;

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int kSlots = 10;  // the last second in tenths
    struct Slot {
        int64_t tenth = -1;  // which tenth of a second since start it counts
        LinkRates counts;
    };
    void Count(int64_t nowUs, int bytes, bool out);
    BusLinkStats BusLocked(int64_t nowUs) const;

    std::atomic<PacketTap*> forward{nullptr};
    std::atomic<int> rate{0};

    mutable std::mutex mutex;
    Clock::time_point start;
    LinkSnapshot stats;
    std::array<Slot, kSlots> tenths{};
    // The request awaiting its reply.
    int pendingId = -1;
    int64_t pendingUs = 0;
};
