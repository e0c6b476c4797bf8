#include "bus/TrafficLog.h"

#include "protocol/PacketDecode.h"

#include <algorithm>
#include <cstdio>

namespace {

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

const char* JobKindName(JobKind kind)
{
    switch (kind) {
    case JobKind::Poll: return "poll";
    case JobKind::Command: return "command";
    case JobKind::Search: return "search";
    case JobKind::Transfer: return "transfer";
    case JobKind::Test: return "test";
    }
    return "?";
}

const char* DirectionName(PacketDirection direction)
{
    return direction == PacketDirection::Out ? "out" : "in";
}

PacketView TrafficRecord::View() const
{
    return PacketView{direction, verdict,   damage,       loader,
                      answering, block,     bytes.data(), static_cast<int>(bytes.size())};
}

std::string TrafficLine(const TrafficRecord& r)
{
    char head[64];
    std::snprintf(head, sizeof head, "%12lld %-3s %-8s ", static_cast<long long>(r.timeUs),
                  DirectionName(r.direction), JobKindName(r.operation));
    const PacketView v = r.View();
    const std::string from = r.source.empty() ? std::string() : " [" + r.source + "]";
    if (!r.note.empty())
        return head + HexBytes(v.bytes, v.size) + "  | " + r.note + from;
    return head + HexBytes(v.bytes, v.size) + "  | " + DecodePacket(v) + from;
}

const char* TrafficCsvHeader()
{
    return "time_us,direction,operation,bytes,decoding,verdict,program";
}

std::string TrafficCsvRow(const TrafficRecord& r)
{
    const PacketView v = r.View();
    return std::to_string(r.timeUs) + ',' + DirectionName(r.direction) + ',' +
           JobKindName(r.operation) + ',' + HexBytes(v.bytes, v.size) + ',' +
           CsvField(r.note.empty() ? DecodePacket(v) : r.note) + ',' + VerdictName(r.verdict) +
           ',' + CsvField(r.source);
}

TrafficLog::TrafficLog(size_t c) : capacity(std::max<size_t>(c, 1)), epochNs(NowNs()) {}

void TrafficLog::PortOpened()
{
    epochNs.store(NowNs(), std::memory_order_relaxed);
}

void TrafficLog::SetEcho(std::function<void(const TrafficRecord&)> e)
{
    echo = std::move(e);
}

void TrafficLog::SetKeep(bool k)
{
    std::lock_guard lock(mutex);
    keep = k;
}

void TrafficLog::SetSource(const std::string& program)
{
    std::lock_guard lock(mutex);
    source = program;
}

void TrafficLog::Note(const std::string& program, const std::string& text,
                      const std::vector<uint8_t>& bytes)
{
    TrafficRecord r;
    r.timeUs = (NowNs() - epochNs.load(std::memory_order_relaxed)) / 1000;
    r.operation = JobKind::Command;
    r.direction = PacketDirection::In;
    r.verdict = Verdict::Damaged;
    r.bytes = bytes;
    r.source = program;
    r.note = text;
    {
        std::lock_guard lock(mutex);
        r.seq = nextSeq++;
        if (records.size() >= capacity) {
            records.pop_front();
            ++dropped;
        }
        records.push_back(r);
    }
    if (echo)
        echo(r);
}

void TrafficLog::Packet(const PacketView& v)
{
    TrafficRecord r;
    r.timeUs = (NowNs() - epochNs.load(std::memory_order_relaxed)) / 1000;
    r.operation = Operation();
    r.direction = v.direction;
    r.verdict = v.verdict;
    r.damage = v.damage;
    r.loader = v.loader;
    r.answering = v.answering;
    r.block = v.block;
    if (v.size > 0)
        r.bytes.assign(v.bytes, v.bytes + v.size);
    {
        std::lock_guard lock(mutex);
        r.seq = nextSeq++;
        r.source = source;
        if (keep) {
            if (records.size() >= capacity) {
                records.pop_front();
                ++dropped;
            }
            records.push_back(echo ? r : std::move(r));
        }
    }
    if (echo)
        echo(r);
}

TrafficLog::Batch TrafficLog::Since(uint64_t from, size_t max) const
{
    Batch b;
    std::lock_guard lock(mutex);
    b.dropped = dropped;
    b.next = nextSeq;
    if (records.empty())
        return b;
    const uint64_t first = records.front().seq;
    const size_t begin = from > first ? static_cast<size_t>(from - first) : 0;
    if (begin >= records.size())
        return b;
    const size_t end = std::min(records.size(), begin + max);
    b.records.assign(records.begin() + static_cast<std::ptrdiff_t>(begin),
                     records.begin() + static_cast<std::ptrdiff_t>(end));
    b.next = first + end;
    return b;
}

uint64_t TrafficLog::Dropped() const
{
    std::lock_guard lock(mutex);
    return dropped;
}

uint64_t TrafficLog::Next() const
{
    std::lock_guard lock(mutex);
    return nextSeq;
}

size_t TrafficLog::Size() const
{
    std::lock_guard lock(mutex);
    return records.size();
}

void TrafficLog::Clear()
{
    std::lock_guard lock(mutex);
    records.clear();
    dropped = 0;
}
