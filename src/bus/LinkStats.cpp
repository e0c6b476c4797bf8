#include "bus/LinkStats.h"

#include <algorithm>
#include <cmath>

namespace {

// Each bucket's upper edge in µs: 10^((i + 1) / 8); the last is open.
const std::array<uint64_t, kLatencyBuckets>& BucketEdges()
{
    static const auto edges = [] {
        std::array<uint64_t, kLatencyBuckets> e{};
        for (int i = 0; i < kLatencyBuckets; ++i)
            e[static_cast<size_t>(i)] =
                static_cast<uint64_t>(std::ceil(std::pow(10.0, (i + 1.0) / kLatencyBucketsPerDecade)));
        e.back() = UINT64_MAX;
        return e;
    }();
    return edges;
}

size_t BucketOf(uint64_t us)
{
    const auto& edges = BucketEdges();
    return static_cast<size_t>(std::upper_bound(edges.begin(), edges.end() - 1, us) - edges.begin());
}

}  // namespace

uint64_t IdLinkStats::LatencyPercentileUs(double share) const
{
    uint64_t total = 0;
    for (const auto n : latency)
        total += n;
    if (total == 0)
        return 0;
    const auto wanted = static_cast<uint64_t>(std::ceil(std::clamp(share, 0.0, 1.0) * static_cast<double>(total)));
    uint64_t seen = 0;
    for (size_t i = 0; i < latency.size(); ++i) {
        seen += latency[i];
        if (seen >= std::max<uint64_t>(wanted, 1))
            return std::min(BucketEdges()[i], latencyMaxUs);
    }
    return latencyMaxUs;
}

LinkStats::LinkStats() : start(Clock::now())
{
    BucketEdges();  // made once, off the exchanges' path
}

void LinkStats::Reset()
{
    std::lock_guard lock(mutex);
    start = Clock::now();
    stats = LinkSnapshot{};
    tenths = {};
    pendingId = -1;
}

void LinkStats::Count(int64_t nowUs, int bytes, bool out)
{
    const int bits = rate.load(std::memory_order_relaxed);
    const uint64_t wireUs = bits > 0 ? static_cast<uint64_t>(bytes) * 10 * 1000000 / static_cast<uint64_t>(bits) : 0;
    const int64_t tenth = nowUs / 100000;
    Slot& slot = tenths[static_cast<size_t>(tenth % kSlots)];
    if (slot.tenth != tenth)
        slot = Slot{tenth, {}};
    for (LinkRates* r : {&slot.counts, &stats.bus.sinceStart}) {
        (out ? r->bytesOut : r->bytesIn) += static_cast<uint64_t>(bytes);
        r->wireUs += wireUs;
        if (out)
            ++r->exchanges;
    }
}

void LinkStats::Packet(const PacketView& packet)
{
    const int64_t nowUs =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    {
        std::lock_guard lock(mutex);
        const bool out = packet.direction == PacketDirection::Out;
        Count(nowUs, packet.size, out);
        if (packet.loader == LoaderStep::None && packet.answering == LoaderStep::None) {
            if (out) {
                pendingId = packet.size > 2 ? packet.bytes[2] : -1;
                pendingUs = nowUs;
            } else if (packet.verdict != Verdict::Stray && pendingId >= 0 && pendingId < 254) {
                IdLinkStats& s = stats.ids[static_cast<size_t>(pendingId)];
                ++s.requests;
                switch (packet.verdict) {
                case Verdict::Good: {
                    ++s.answered;
                    const auto us = static_cast<uint64_t>(std::max<int64_t>(0, nowUs - pendingUs));
                    ++s.latency[BucketOf(us)];
                    s.latencyMaxUs = std::max(s.latencyMaxUs, us);
                    s.latencySumUs += us;
                    s.lastAnswerUs = nowUs;
                    break;
                }
                case Verdict::Damaged:
                    ++(packet.damage == Damage::Checksum ? s.checksumErrors : s.malformed);
                    break;
                case Verdict::Late:  // another ID's reply where this one's was due
                    ++s.malformed;
                    break;
                case Verdict::PortGone:
                    --s.requests;  // nobody could have answered
                    break;
                default:
                    ++s.timeouts;
                    break;
                }
                pendingId = -1;
            }
        }
    }
    if (PacketTap* const next = forward.load(std::memory_order_relaxed))
        next->Packet(packet);
}

BusLinkStats LinkStats::BusLocked(int64_t nowUs) const
{
    BusLinkStats b = stats.bus;
    b.sinceStart.seconds = static_cast<double>(nowUs) / 1e6;
    // The last second: the tenths that ended within it and the one running now.
    const int64_t tenth = nowUs / 100000;
    LinkRates last;
    for (const Slot& slot : tenths) {
        if (slot.tenth < 0 || slot.tenth <= tenth - kSlots)
            continue;
        last.exchanges += slot.counts.exchanges;
        last.bytesOut += slot.counts.bytesOut;
        last.bytesIn += slot.counts.bytesIn;
        last.wireUs += slot.counts.wireUs;
    }
    last.seconds = std::min(1.0, static_cast<double>(nowUs - (tenth - kSlots + 1) * 100000) / 1e6);
    last.seconds = std::min(last.seconds, b.sinceStart.seconds);
    b.lastSecond = last;
    return b;
}

LinkSnapshot LinkStats::Copy() const
{
    const auto now = Clock::now();
    std::lock_guard lock(mutex);
    LinkSnapshot copy = stats;
    copy.bus = BusLocked(std::chrono::duration_cast<std::chrono::microseconds>(now - start).count());
    return copy;
}

IdLinkStats LinkStats::Of(uint8_t id) const
{
    std::lock_guard lock(mutex);
    return id < 254 ? stats.ids[id] : IdLinkStats{};
}

BusLinkStats LinkStats::Bus() const
{
    const auto now = Clock::now();
    std::lock_guard lock(mutex);
    return BusLocked(std::chrono::duration_cast<std::chrono::microseconds>(now - start).count());
}
