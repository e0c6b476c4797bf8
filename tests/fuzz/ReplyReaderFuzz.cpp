// The reply reader: the real ZNServo over a port that replays a scripted byte stream, for
// reads, writes with status, sync writes and send-only instructions, one after another on
// the same objects. Each exchange is checked against what it must send, what it must return
// and where the reply's bytes may go.
//
// Input: records of
//   op id address n flags [caps...] replyLength [reply...]
// op picks the operation; flags bit 0 = statusLevel, bit 1 = byteOrder, bit 2 = the port's
// writes come up one byte short, bits 4..6 = how many cap bytes follow (each caps what one
// read call delivers, as a time-out cutting a reply short would). The reply bytes are what
// the bus answers; sync writes take their ID list from them.
#include "FuzzCheck.h"

#include "protocol/ZNServo.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace {

// A port that is never opened: writes are recorded, reads take from the scripted reply.
class ScriptedPort : public CZNComm {
public:
    int Write(const uint8_t* buffer, int n) override
    {
        FUZZ_CHECK(buffer != nullptr && n > 0, "write of %d bytes", n);
        sent.insert(sent.end(), buffer, buffer + n);
        ++writeCalls;
        return shortWrites ? n - 1 : n;
    }
    int Read(uint8_t* buffer, int n) override
    {
        FUZZ_CHECK(buffer != nullptr && n >= 0, "read of %d bytes", n);
        readSizes.push_back(n);
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
    std::deque<uint8_t> caps;
    std::deque<uint8_t> queued;
};

std::vector<uint8_t> Packet(uint8_t id, uint8_t instruction, const std::vector<uint8_t>& params)
{
    std::vector<uint8_t> p{0xFF, 0xFF, id, static_cast<uint8_t>(params.size() + 2), instruction};
    p.insert(p.end(), params.begin(), params.end());
    unsigned sum = 0;
    for (size_t i = 2; i < p.size(); ++i)
        sum += p[i];
    p.push_back(static_cast<uint8_t>(~sum));
    return p;
}

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

void RunRecord(ScriptedPort& port, ZNServo& servo, const Record& r)
{
    const bool highFirst = (r.flags & 2) != 0;
    servo.statusLevel = r.flags & 1;
    servo.byteOrder = highFirst ? 1 : 0;
    port.shortWrites = (r.flags & 4) != 0;
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
    const bool awaits = id != kBroadcastId && (r.flags & 1) != 0;
    std::vector<uint8_t> expectedSent;
    int expected = 0;
    int result = 0;

    // A write-type exchange: the packet, then a 6-byte status unless none is awaited.
    auto statusExpected = [&] {
        if (!awaits)
            return 1;
        return Take(caps, queued, kStatusPacketSize) == kStatusPacketSize ? 1 : 0;
    };

    switch (r.op % 12) {
    case 0: {  // ReadMemory into a buffer of exactly n bytes
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[n]);
        result = servo.ReadMemory(id, address, buffer.get(), n);
        expectedSent = Packet(id, instr::kRead, {address, n});
        const int head = Take(caps, queued, kReplyHeadSize);
        // A reply naming another ID is someone else's (a late answer): no data is taken.
        if (head == kReplyHeadSize && r.reply[2] != id) {
            FUZZ_CHECK(port.readSizes == std::vector<int>{kReplyHeadSize}, "read calls");
        } else if (head == kReplyHeadSize) {
            const int data = Take(caps, queued, n);
            expected = Take(caps, queued, 1) == 1 ? data : 0;
            FUZZ_CHECK((port.readSizes == std::vector<int>{kReplyHeadSize, n, 1}),
                       "read calls");
        } else {
            FUZZ_CHECK(port.readSizes == std::vector<int>{kReplyHeadSize}, "read calls");
        }
        FUZZ_CHECK(result >= 0 && result <= n, "ReadMemory returned %d for %d bytes", result, n);
        FUZZ_CHECK(result == 0 || std::memcmp(buffer.get(), r.reply.data() + kReplyHeadSize,
                                               static_cast<size_t>(result)) == 0,
                   "data bytes are not the reply's bytes after its head");
        break;
    }
    case 1:
    case 2: {  // WriteMemory, RegWriteMemory of n bytes
        std::vector<uint8_t> data(n);
        for (int i = 0; i < n; ++i)
            data[static_cast<size_t>(i)] = static_cast<uint8_t>(address + i * 7);
        const uint8_t instruction = r.op % 12 == 1 ? instr::kWrite : instr::kRegWrite;
        result = instruction == instr::kWrite ? servo.WriteMemory(id, address, data.data(), n)
                                              : servo.RegWriteMemory(id, address, data.data(), n);
        if (n > 252) {  // too long for one packet: nothing goes out
            expected = 0;
            FUZZ_CHECK(port.readSizes.empty(), "a refused write awaited a status");
            break;
        }
        std::vector<uint8_t> params{address};
        params.insert(params.end(), data.begin(), data.end());
        expectedSent = Packet(id, instruction, params);
        expected = statusExpected();
        break;
    }
    case 3:
        result = servo.WriteByte(id, address, n);
        expectedSent = Packet(id, instr::kWrite, {address, n});
        expected = statusExpected();
        break;
    case 4: {
        const unsigned value = static_cast<unsigned>(address) << 8 | n;
        result = servo.WriteWord(id, address, static_cast<int>(value));
        std::vector<uint8_t> params{address};
        PutWord(params, value, highFirst);
        expectedSent = Packet(id, instr::kWrite, params);
        expected = statusExpected();
        break;
    }
    case 5:
    case 6: {
        const auto position = static_cast<int16_t>(static_cast<uint16_t>(address << 8 | n));
        const uint16_t speed = static_cast<uint16_t>(n * 13), time = static_cast<uint16_t>(id * 5);
        const uint8_t instruction = r.op % 12 == 5 ? instr::kWrite : instr::kRegWrite;
        result = instruction == instr::kWrite
                     ? servo.WritePosition(id, position, address, speed, time)
                     : servo.RegWritePosition(id, position, address, speed, time);
        std::vector<uint8_t> params{servo.positionAddress};
        const auto block = PositionBlock(position, address, speed, time, highFirst);
        params.insert(params.end(), block.begin(), block.end());
        expectedSent = Packet(id, instruction, params);
        expected = statusExpected();
        break;
    }
    case 7:
    case 8:
    case 9: {
        const uint8_t codes[] = {instr::kRestore, instr::kRisky, instr::kResetAngle};
        const uint8_t instruction = codes[r.op % 12 - 7];
        result = instruction == instr::kRestore ? servo.RestoreParameters(id)
                 : instruction == instr::kRisky ? servo.RiskyOperation(id)
                                                : servo.ResetAngle(id);
        expectedSent = Packet(id, instruction, {});
        expected = statusExpected();
        break;
    }
    case 10: {  // SyncWritePosition to the IDs the reply field lists, n % 40 of them
        const int count = std::min<int>(n % 40, static_cast<int>(r.reply.size()));
        const auto position = static_cast<int16_t>(id << 8 | address);
        result = servo.SyncWritePosition(r.reply.data(), count, position, n, 500, 20);
        FUZZ_CHECK(port.readSizes.empty(), "a sync write read a reply");
        const int length = 8 * count + 4;
        if (length > 255) {
            expected = 0;
            break;
        }
        const auto block = PositionBlock(position, n, 500, 20, highFirst);
        std::vector<uint8_t> params{servo.positionAddress, 7};
        for (int i = 0; i < count; ++i) {
            params.push_back(r.reply[static_cast<size_t>(i)]);
            params.insert(params.end(), block.begin(), block.end());
        }
        expectedSent = Packet(kBroadcastId, instr::kSyncWrite, params);
        expected = port.shortWrites ? 0 : 1;
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
        FUZZ_CHECK(port.readSizes.empty(), "a send-only instruction read a reply");
        expected = port.shortWrites ? 0 : 1;
        break;
    }

    FUZZ_CHECK(result == expected, "op %d returned %d, expected %d", r.op % 12, result, expected);
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
    ZNServo servo(port);
    Record record;
    // A bounded number of exchanges per input keeps each run short.
    for (int i = 0; i < 64 && NextRecord(data, size, record); ++i)
        RunRecord(port, servo, record);
    return 0;
}
