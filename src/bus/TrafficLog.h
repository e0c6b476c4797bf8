#pragma once
// The traffic record: every packet in and out of the bus, in order, with its time since the
// port opened and the operation it belonged to. It keeps the newest packets up to its bound
// and counts the ones it let go. The bus thread appends under a short lock; readers copy what
// is new on their own schedule, so the bus never waits for them.

#include "bus/JobKind.h"
#include "protocol/PacketTap.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct TrafficRecord {
    uint64_t seq = 0;     // from 0, in the order the packets crossed
    int64_t timeUs = 0;   // microseconds since the port opened
    JobKind operation = JobKind::Command;
    PacketDirection direction = PacketDirection::Out;
    Verdict verdict = Verdict::Sent;
    Damage damage = Damage::None;
    LoaderStep loader = LoaderStep::None;
    LoaderStep answering = LoaderStep::None;
    int block = 0;
    std::vector<uint8_t> bytes;
    // The program that sent the exchange on a shared bus; empty for this program's own.
    std::string source;
    // A line about the bus rather than a packet (a client's bad frame); empty for packets.
    std::string note;

    PacketView View() const;
};

// "out"/"in", and the line `servoctl --trace` prints: time, direction, operation, bytes,
// decoding.
const char* DirectionName(PacketDirection direction);
std::string TrafficLine(const TrafficRecord& record);
// One CSV row (no line end) under TrafficCsvHeader(); fields with commas or quotes are quoted.
// The program field is a shared bus's client, empty for this program's own exchanges.
std::string TrafficCsvRow(const TrafficRecord& record);
const char* TrafficCsvHeader();

class TrafficLog : public PacketTap {
public:
    static constexpr size_t kCapacity = 100000;
    explicit TrafficLog(size_t capacity = kCapacity);

    // From the bus: one packet (on the thread running the exchange).
    void Packet(const PacketView& packet) override;
    // Times count from now on.
    void PortOpened();
    // The operation of the packets that follow; set by each bus job as it starts.
    void SetOperation(JobKind kind) { operation.store(kind, std::memory_order_relaxed); }
    JobKind Operation() const { return operation.load(std::memory_order_relaxed); }
    // The program whose exchanges follow (a shared bus's client), empty for this program;
    // set by the job that runs them.
    void SetSource(const std::string& program);
    // A line of its own: what happened with `program`'s connection (kept even while no
    // packet is traced).
    void Note(const std::string& program, const std::string& text,
              const std::vector<uint8_t>& bytes = {});

    // Called with each record as it is made, on the bus's side (servoctl's --trace). Set it
    // before the log is tapped.
    void SetEcho(std::function<void(const TrafficRecord&)> echo);
    // Whether records are kept (servoctl only echoes them).
    void SetKeep(bool keep);

    struct Batch {
        std::vector<TrafficRecord> records;
        uint64_t next = 0;     // the sequence number to ask from next time
        uint64_t dropped = 0;  // packets let go by the bound since the log began
    };
    // Copies up to `max` records from sequence `from` on; records that went are skipped.
    Batch Since(uint64_t from, size_t max) const;
    uint64_t Dropped() const;
    // The sequence number the next packet gets.
    uint64_t Next() const;
    size_t Size() const;
    void Clear();

private:
    const size_t capacity;
    std::atomic<JobKind> operation{JobKind::Command};
    std::string source;  // under the mutex
    std::atomic<int64_t> epochNs;
    std::function<void(const TrafficRecord&)> echo;
    bool keep = true;

    mutable std::mutex mutex;
    std::deque<TrafficRecord> records;
    uint64_t nextSeq = 0;
    uint64_t dropped = 0;
};
