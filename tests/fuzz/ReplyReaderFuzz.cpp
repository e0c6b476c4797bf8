// The reply reader: the real protocol over a port that replays a scripted byte stream, for
// reads, writes with status, sync writes and send-only instructions, one after another on
// the same objects. Each exchange is checked against what it must send, what it must come to
// (outcome, damage, error byte, count) and where the reply's bytes may go: a reply is taken
// only when it is well-formed and whole, and nothing of any other reaches the caller.
//
// Input: records of
//   op id address n flags [caps...] replyLength [reply...]
// op picks the operation; flags bit 0 = status level, bit 1 = byte order, bit 2 = the port's
// writes come up one byte short, bit 3 = the position block lies at ~address instead of 41,
// bits 4..6 = how many cap bytes follow (each caps what one read call delivers, as a
// time-out cutting a reply short would), bit 7 = the port is closed. The reply bytes are
// what the bus answers; sync writes take their ID list from them.
#include "FuzzCheck.h"
#include "common/Packets.h"

#include "protocol/ZNS.h"
#include "serial/CZNComm.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace {

// A port that is never opened: writes are recorded, reads take from the scripted reply. A
// port marked closed moves no bytes, as the real one does once it is closed, and says so.
class ScriptedPort : public CZNComm {
public:
    bool IsOpen() const override { return !closed; }
    // Each exchange's scripted reply is laid out before it; there is nothing to purge.
    int PurgeInput() override { return 0; }
    int Write(const uint8_t* buffer, int n) override
    {
        FUZZ_CHECK(buffer != nullptr && n > 0, "write of %d bytes", n);
        ++writeCalls;
        if (closed)
            return 0;
        sent.insert(sent.end(), buffer, buffer + n);
        return shortWrites ? n - 1 : n;
    }
    int Read(uint8_t* buffer, int n) override
    {
        FUZZ_CHECK(buffer != nullptr && n >= 0, "read of %d bytes", n);
        readSizes.push_back(n);
        if (closed)
            return 0;
        int cap = n;
        if (!caps.empty()) {
            cap = std::min(cap, static_cast<int>(caps.front()));
            caps.pop_front();
        }
        int got = 0;
        while (got < cap && !queued.empty()) {
            buffer[got++] = queued.front();
            queued.pop_front();
        }
        return got;
    }

    std::vector<uint8_t> sent;
    std::vector<int> readSizes;
    int writeCalls = 0;
    bool shortWrites = false;
    bool closed = false;
    std::deque<uint8_t> caps;
    std::deque<uint8_t> queued;
};


void PutWord(std::vector<uint8_t>& out, unsigned value, bool highFirst)
{
    const auto low = static_cast<uint8_t>(value & 0xFF);
    const auto high = static_cast<uint8_t>((value >> 8) & 0xFF);
    out.push_back(highFirst ? high : low);
    out.push_back(highFirst ? low : high);
}

std::vector<uint8_t> PositionBlock(int16_t position, uint8_t acceleration, uint16_t speed,
                                   uint16_t time, bool highFirst)
{
    unsigned p = static_cast<uint16_t>(position);
    if (position < 0)
        p = static_cast<unsigned>(-static_cast<int>(position)) | 0x8000u;
    std::vector<uint8_t> block{acceleration};
    PutWord(block, p, highFirst);
    PutWord(block, time, highFirst);
    PutWord(block, speed, highFirst);
    return block;
}

// What a receive of `want` bytes gets from the script, by the same rule as the port.
int Take(std::deque<uint8_t>& caps, int& queued, int want)
{
    int cap = want;
    if (!caps.empty()) {
        cap = std::min(cap, static_cast<int>(caps.front()));
        caps.pop_front();
    }
    const int got = std::min(cap, queued);
    queued -= got;
    return got;
}

// Whether the reply's first bytes are exactly the answer of `id` carrying n data bytes:
// header FF FF, the ID, length n + 2, checksum over ID, length, error byte and data.
bool WellFormed(const std::vector<uint8_t>& reply, uint8_t id, int n)
{
    if (reply.size() < static_cast<size_t>(n) + 6)
        return false;
    unsigned sum = 0;
    for (int i = 2; i < n + 5; ++i)
        sum += reply[static_cast<size_t>(i)];
    return reply[0] == 0xFF && reply[1] == 0xFF && reply[2] == id && reply[3] == n + 2 &&
           reply[static_cast<size_t>(n) + 5] == static_cast<uint8_t>(~sum);
}

// The checks a reply goes through, in order, once its head is in.
Reply JudgeHead(const std::vector<uint8_t>& reply, uint8_t id, int n)
{
    if (reply[0] != 0xFF || reply[1] != 0xFF)
        return Reply::Failed(Outcome::Damaged, Damage::Header);
    if (reply[2] != id)  // someone else's late answer
        return Reply::Failed(Outcome::Damaged, Damage::Id);
    if (reply[3] != n + 2)
        return Reply::Failed(Outcome::Damaged, Damage::Length);
    return Reply::Answered();
}

// What a read of n bytes must come to, and the receive calls it makes: the head, then the
// data and the checksum only after a head that passed.
Reply ExpectRead(std::deque<uint8_t>& caps, int& queued, const std::vector<uint8_t>& reply,
                 uint8_t id, int n, std::vector<int>& reads)
{
    reads.push_back(kReplyHeadSize);
    if (Take(caps, queued, kReplyHeadSize) < kReplyHeadSize)
        return Reply::Failed(Outcome::NoAnswer);
    if (const Reply head = JudgeHead(reply, id, n); !head.ok())
        return head;
    reads.push_back(n);
    if (Take(caps, queued, n) < n)
        return Reply::Failed(Outcome::NoAnswer);
    reads.push_back(1);
    if (Take(caps, queued, 1) < 1)
        return Reply::Failed(Outcome::NoAnswer);
    if (!WellFormed(reply, id, n))
        return Reply::Failed(Outcome::Damaged, Damage::Checksum);
    return Reply::Answered(n, reply[4]);
}

// What awaiting a status packet must come to: six bytes in one receive, then the checks.
Reply ExpectStatus(std::deque<uint8_t>& caps, int& queued, const std::vector<uint8_t>& reply,
                   uint8_t id, std::vector<int>& reads)
{
    reads.push_back(kStatusPacketSize);
    if (Take(caps, queued, kStatusPacketSize) < kStatusPacketSize)
        return Reply::Failed(Outcome::NoAnswer);
    if (const Reply head = JudgeHead(reply, id, 0); !head.ok())
        return head;
    if (!WellFormed(reply, id, 0))
        return Reply::Failed(Outcome::Damaged, Damage::Checksum);
    return Reply::Answered(0, reply[4]);
}

bool Same(const Reply& a, const Reply& b)
{
    return a.outcome == b.outcome && a.damage == b.damage && a.error == b.error &&
           a.count == b.count;
}

struct Record {
    uint8_t op, id, address, n, flags;
    std::vector<uint8_t> caps, reply;
};

bool NextRecord(const uint8_t*& data, size_t& size, Record& r)
{
    if (size < 5)
        return false;
    r.op = data[0];
    r.id = data[1];
    r.address = data[2];
    r.n = data[3];
    r.flags = data[4];
    data += 5;
    size -= 5;
    const size_t capCount = std::min<size_t>((r.flags >> 4) & 7, size);
    r.caps.assign(data, data + capCount);
    data += capCount;
    size -= capCount;
    r.reply.clear();
    if (size == 0)
        return true;
    const size_t length = std::min<size_t>(data[0], size - 1);
    r.reply.assign(data + 1, data + 1 + length);
    data += 1 + length;
    size -= 1 + length;
    return true;
}

void RunRecord(ScriptedPort& port, ZNS& servo, const Record& r)
{
    const bool highFirst = (r.flags & 2) != 0;
    ServoProfile profile;
    profile.statusLevel = r.flags & 1;
    profile.byteOrder = highFirst ? 1 : 0;
    if (r.flags & 8)
        profile.positionAddress = static_cast<uint8_t>(~r.address);
    port.shortWrites = (r.flags & 4) != 0;
    port.closed = (r.flags & 0x80) != 0;
    port.sent.clear();
    port.readSizes.clear();
    port.writeCalls = 0;
    // Each exchange that flushes starts from an empty receive queue, as the port's purge
    // leaves it; the scripted reply then arrives.
    port.queued.assign(r.reply.begin(), r.reply.end());
    port.caps.assign(r.caps.begin(), r.caps.end());
    std::deque<uint8_t> caps(r.caps.begin(), r.caps.end());
    int queued = static_cast<int>(r.reply.size());

    const uint8_t id = r.id, address = r.address, n = r.n;
    const bool awaits = id != kBroadcastId && profile.statusLevel != 0;
    // A packet that did not go out whole: on a closed port, "port closed".
    const Reply notSent =
        Reply::Failed(port.closed ? Outcome::PortClosed : Outcome::WriteFailed);
    const bool sendFails = port.closed || port.shortWrites;
    std::vector<uint8_t> expectedSent;
    std::vector<int> expectedReads;
    Reply expected = Reply::Answered();
    Reply result;
    bool statusRead = false;

    // A write-type exchange: the packet, then a status packet unless none is awaited.
    auto statusExchange = [&](std::vector<uint8_t> packet) {
        expectedSent = std::move(packet);
        if (sendFails)
            return notSent;
        if (!awaits)
            return Reply::Answered();
        statusRead = true;
        return ExpectStatus(caps, queued, r.reply, id, expectedReads);
    };

    switch (r.op % 12) {
    case 0: {  // ReadMemory into a buffer of exactly n bytes, filled with a pattern first
        std::vector<uint8_t> buffer(n), pattern(n);
        for (int i = 0; i < n; ++i)
            pattern[static_cast<size_t>(i)] = static_cast<uint8_t>(0xA5 ^ (i * 31));
        buffer = pattern;
        result = servo.ReadMemory(id, address, buffer.data(), n);
        expectedSent = Packet(id, instr::kRead, {address, n});
        expected = sendFails ? notSent : ExpectRead(caps, queued, r.reply, id, n, expectedReads);
        // Nothing of a reply that is not exactly well-formed, or cut short, is taken: it
        // is no answer and the buffer stays as it was.
        FUZZ_CHECK(!result.ok() || WellFormed(r.reply, id, n),
                   "a read reply that is not well-formed was taken as an answer");
        if (result.ok())
            FUZZ_CHECK(std::equal(buffer.begin(), buffer.end(),
                                  r.reply.begin() + kReplyHeadSize),
                       "data bytes are not the reply's bytes after its head");
        else
            FUZZ_CHECK(buffer == pattern, "a read that came to %s touched the buffer",
                       ReplyText(result, 100).c_str());
        break;
    }
    case 1:
    case 2: {  // WriteMemory, RegWriteMemory of n bytes
        std::vector<uint8_t> data(n);
        for (int i = 0; i < n; ++i)
            data[static_cast<size_t>(i)] = static_cast<uint8_t>(address + i * 7);
        const uint8_t instruction = r.op % 12 == 1 ? instr::kWrite : instr::kRegWrite;
        result = instruction == instr::kWrite
                     ? servo.WriteMemory(profile, id, address, data.data(), n)
                     : servo.RegWriteMemory(profile, id, address, data.data(), n);
        if (n > 252) {  // too long for one packet: nothing goes out
            expected = Reply::Failed(Outcome::WriteFailed);
            break;
        }
        std::vector<uint8_t> params{address};
        params.insert(params.end(), data.begin(), data.end());
        expected = statusExchange(Packet(id, instruction, params));
        break;
    }
    case 3:
        result = servo.WriteByte(profile, id, address, n);
        expected = statusExchange(Packet(id, instr::kWrite, {address, n}));
        break;
    case 4: {
        const unsigned value = static_cast<unsigned>(address) << 8 | n;
        result = servo.WriteWord(profile, id, address, static_cast<int>(value));
        std::vector<uint8_t> params{address};
        PutWord(params, value, highFirst);
        expected = statusExchange(Packet(id, instr::kWrite, params));
        break;
    }
    case 5:
    case 6: {
        const auto position = static_cast<int16_t>(static_cast<uint16_t>(address << 8 | n));
        const uint16_t speed = static_cast<uint16_t>(n * 13), time = static_cast<uint16_t>(id * 5);
        const uint8_t instruction = r.op % 12 == 5 ? instr::kWrite : instr::kRegWrite;
        result = instruction == instr::kWrite
                     ? servo.WritePosition(profile, id, position, address, speed, time)
                     : servo.RegWritePosition(profile, id, position, address, speed, time);
        std::vector<uint8_t> params{profile.positionAddress};
        const auto block = PositionBlock(position, address, speed, time, highFirst);
        params.insert(params.end(), block.begin(), block.end());
        expected = statusExchange(Packet(id, instruction, params));
        break;
    }
    case 7:
    case 8:
    case 9: {
        const uint8_t codes[] = {instr::kRestore, instr::kRisky, instr::kResetAngle};
        const uint8_t instruction = codes[r.op % 12 - 7];
        result = instruction == instr::kRestore ? servo.RestoreParameters(profile, id)
                 : instruction == instr::kRisky ? servo.RiskyOperation(profile, id)
                                                : servo.ResetAngle(profile, id);
        expected = statusExchange(Packet(id, instruction, {}));
        break;
    }
    case 10: {  // SyncWritePosition to the IDs the reply field lists, n % 40 of them
        const int count = std::min<int>(n % 40, static_cast<int>(r.reply.size()));
        const auto position = static_cast<int16_t>(id << 8 | address);
        result = servo.SyncWritePosition(profile, r.reply.data(), count, position, n, 500, 20);
        const int length = 8 * count + 4;
        if (length > 255) {  // a list the length byte can't count is not sent
            expected = notSent;
            break;
        }
        const auto block = PositionBlock(position, n, 500, 20, highFirst);
        std::vector<uint8_t> params{profile.positionAddress, 7};
        for (int i = 0; i < count; ++i) {
            params.push_back(r.reply[static_cast<size_t>(i)]);
            params.insert(params.end(), block.begin(), block.end());
        }
        expectedSent = Packet(kBroadcastId, instr::kSyncWrite, params);
        expected = sendFails ? notSent : Reply::Answered();
        break;
    }
    case 11:  // send-only instructions
        if (n & 1) {
            result = servo.Action();
            expectedSent = Packet(kBroadcastId, instr::kAction, {});
        } else {
            result = servo.RequestUpgrade(id);
            expectedSent = Packet(id, instr::kUpgrade, {});
        }
        expected = sendFails ? notSent : Reply::Answered();
        break;
    }
    // A closed port takes no bytes.
    if (port.closed)
        expectedSent.clear();
    FUZZ_CHECK(!statusRead || !result.ok() || WellFormed(r.reply, id, 0),
               "a status packet that is not well-formed was taken as an answer");

    FUZZ_CHECK(Same(result, expected), "op %d came to %s (error %u, count %d), expected %s "
               "(error %u, count %d)", r.op % 12, ReplyText(result, 100).c_str(), result.error,
               result.count, ReplyText(expected, 100).c_str(), expected.error, expected.count);
    // A damaged reply is no answer.
    FUZZ_CHECK(result.ok() == (result.outcome == Outcome::Answered) &&
                   (result.outcome == Outcome::Damaged) == (result.damage != Damage::None),
               "op %d: outcome and damage disagree", r.op % 12);
    FUZZ_CHECK(port.readSizes == expectedReads, "op %d made %zu receive calls, expected %zu "
               "(or of other sizes)", r.op % 12, port.readSizes.size(), expectedReads.size());
    FUZZ_CHECK(port.sent == expectedSent, "op %d sent %zu bytes, expected %zu (or different bytes)",
               r.op % 12, port.sent.size(), expectedSent.size());
    // A single packet leaves in one write; only a sync packet's groups go out one by one.
    if (r.op % 12 != 10 && !expectedSent.empty())
        FUZZ_CHECK(port.writeCalls == 1, "a packet went out in %d writes", port.writeCalls);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    ScriptedPort port;
    ZNS servo(port);
    // The reads of a reply are checked one by one: the first replies after opening are not
    // looked at for an adapter's echo here (the bus tests cover that look).
    servo.SettleNoEcho();
    Record record;
    // A bounded number of exchanges per input keeps each run short.
    for (int i = 0; i < 64 && NextRecord(data, size, record); ++i)
        RunRecord(port, servo, record);
    return 0;
}
