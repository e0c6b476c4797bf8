// A parameter file loaded into a servo over a scripted bus: the real ServoProgram polls its
// table from a catalogue, then LoadParameterFile reads the file and WriteBlock writes it
// between the lock flag's unlock and lock. Every packet on the wire must be framed correctly
// and fit a packet; the block must be exactly the file's first bytes up to the memory size,
// at address 0, and nothing at all goes out for a block too long for one packet. The image,
// the selected ID and the followed rate must be what the exchange's outcome says: a damaged
// reply is no answer, so nothing of a damaged poll reaches the image and a damaged status
// confirms no write. The program runs in bus jobs, on this thread.
//
// Input: memory size (0..255), lock flag address (255: no lock flag row), flags (bit 0: the
// poll is answered; bit 1: the polled status level byte; bit 2: the poll's replies have a
// data byte flipped, checksum as sent), the replies to the three writes (2 bits each: a
// whole status, silence, one byte short, a damaged status: its header, ID, length or
// checksum by turns, starting from the ID's count modulo 4), the selected ID, then the
// file's bytes.
#include "FirmwareFuzz.h"
#include "common/Packets.h"

#include "serial/CZNComm.h"
#include "servo/ServoProgram.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The byte the poll reads at address a.
uint8_t Polled(int a, uint8_t statusLevel)
{
    return a == addr::kStatusLevel ? statusLevel : static_cast<uint8_t>(a * 29 + 3);
}


// The status of `id` failing one check, each alone: header, ID (another servo's late
// answer), length, checksum.
Bytes DamagedStatus(uint8_t id, int check)
{
    Bytes status = Packet(check == 1 ? static_cast<uint8_t>(id ^ 0x21) : id, 0, {});
    if (check == 0)
        status[1] = 0xFE;
    if (check == 2) {
        status[3] = 3;
        status[5] = static_cast<uint8_t>(~(status[2] + status[3] + status[4]));
    }
    if (check == 3)
        status[5] ^= 0x21;
    return status;
}

// A port that is never opened. Each write is one packet, checked for its framing; the reply
// to it (a read reply during the poll, then the scripted statuses) is queued as it goes out.
class ScriptedLine : public CZNComm {
public:
    int Write(const uint8_t* buffer, int n) override
    {
        FUZZ_CHECK(buffer != nullptr && n >= 6, "write of %d bytes", n);
        const Bytes p(buffer, buffer + n);
        FUZZ_CHECK(p[0] == 0xFF && p[1] == 0xFF, "no packet start");
        FUZZ_CHECK(n <= 255 + 4 && p[3] == n - 4, "length byte %u for %d bytes", p[3], n);
        unsigned sum = 0;
        for (int i = 2; i < n - 1; ++i)
            sum += p[static_cast<size_t>(i)];
        FUZZ_CHECK(p.back() == static_cast<uint8_t>(~sum), "checksum");
        FUZZ_CHECK(p[4] != instr::kWrite || n - 7 <= kMaxWriteCount, "a write of %d bytes",
                   n - 7);
        packets.push_back(p);
        queued.clear();  // the exchange's flush dropped whatever was left
        if (polling) {
            FUZZ_CHECK(p[4] == instr::kRead && n == 8, "the poll sent instruction %u", p[4]);
            if (pollAnswered) {
                Bytes data;
                for (int a = p[5]; a < p[5] + p[6]; ++a)
                    data.push_back(Polled(a, polledStatusLevel));
                Bytes reply = Packet(p[2], 0, data);
                if (pollDamaged && !data.empty())
                    reply[5] ^= 0x40;
                queued.assign(reply.begin(), reply.end());
            }
        } else if (!replies.empty()) {
            const int kind = replies.front();
            replies.pop_front();
            const int bytes = kind == 1 ? 0 : kind == 2 ? kStatusPacketSize - 1 : kStatusPacketSize;
            const Bytes status = kind == 3 ? DamagedStatus(p[2], (statusCount + p[2]) % 4)
                                           : Packet(p[2], 0, {});
            ++statusCount;
            queued.assign(status.begin(), status.begin() + bytes);
        }
        return n;
    }
    int Read(uint8_t* buffer, int n) override
    {
        FUZZ_CHECK(buffer != nullptr && n >= 0, "read of %d bytes", n);
        int got = 0;
        while (got < n && !queued.empty()) {
            buffer[got++] = queued.front();
            queued.pop_front();
        }
        return got;
    }

    bool polling = true;
    bool pollAnswered = false;
    bool pollDamaged = false;
    uint8_t polledStatusLevel = 1;
    std::deque<int> replies;  // per write after the poll: 0 whole, 1 silence, 2 short, 3 damaged
    int statusCount = 0;
    std::deque<uint8_t> queued;
    std::vector<Bytes> packets;
};

// A catalogue whose table for key byte 0 = 5 spans `memorySize` bytes (none for 0), with a
// lock flag row at `lock` unless it is 255. Written again only when the table changes.
std::string Catalogue(int memorySize, int lock)
{
    static int writtenSize = -1, writtenLock = -1;
    const std::string path = ScratchFile("setup.log");
    if (memorySize == writtenSize && lock == writtenLock)
        return path;
    std::string text = "[\xC4\xDA\xB4\xE6]\n5,0,255,0\n";
    // The table ends with its last row, so the lock flag row comes first.
    if (memorySize > 0 && lock != 255)
        text += std::to_string(lock) + ",\xCB\xF8\xB1\xEA\xD6\xBE,1,1,-1,EPROM,rw,0,1\n";
    if (memorySize > 0)
        text += "0,first,1,0,-1,EPROM,rw,-1,-1\n";
    if (memorySize > 1)
        text += std::to_string(memorySize - 1) + ",last,1,0,-1,SRAM,rw,-1,-1\n";
    text += "NULL,,,,,,,,\n[\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8]\n";
    WriteScratch(path, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    writtenSize = memorySize;
    writtenLock = lock;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 5)
        return 0;
    const int memorySize = data[0];
    const int lock = data[1];
    const bool locked = lock != 255 && memorySize > 0;
    ScriptedLine line;
    line.pollAnswered = (data[2] & 1) != 0;
    line.polledStatusLevel = (data[2] >> 1) & 1;
    line.pollDamaged = (data[2] & 4) != 0;
    const uint8_t id = data[4];
    const Bytes file(data + 5, data + size);

    ServoBus bus(line, ServoBus::Threading::Caller);
    ModelCatalogue catalogue(Catalogue(memorySize, lock));
    ServoProgram program(catalogue);
    program.SetSettleMs(0);
    std::vector<int> followed;
    program.SetBaudFollower([&](int code) { followed.push_back(code); });

    ModelKey key{};
    key[0] = 5;
    program.SelectServo(id, key, ServoProfile{});
    const PollReport poll = bus.Run(JobKind::Poll, [&](BusAccess& access) { return program.Poll(access); });
    FUZZ_CHECK(program.MemorySize() == memorySize, "memory size %d, table %d",
               program.MemorySize(), memorySize);
    // Only a well-formed answer reaches the image; anything else is "通信超时".
    const bool pollTaken = line.pollAnswered && !line.pollDamaged;
    FUZZ_CHECK(memorySize == 0 || (poll.status == PollReport::Status::Timeout) == !pollTaken,
               "the poll's status is %d", static_cast<int>(poll.status));
    const MemoryImage before = program.Image();
    FUZZ_CHECK(pollTaken || before == MemoryImage{}, "a poll without a good answer changed "
               "the image");
    line.polling = false;
    line.packets.clear();
    for (int k = 0; k < 3; ++k)
        line.replies.push_back((data[3] >> (2 * k)) & 3);

    const std::string path = ScratchFile("params.dat");
    WriteScratch(path, file.data(), file.size());
    const LoadResult result = bus.Run(JobKind::Command, [&](BusAccess& access) {
        return program.LoadParameterFile(access, path);
    });

    // What must have happened, step by step.
    const int n = std::min(static_cast<int>(file.size()), memorySize);
    MemoryImage image = before;
    std::copy_n(file.begin(), n, image.begin());
    FUZZ_CHECK(program.Image() == image, "the image is not the file's first %d bytes over the "
               "polled image", n);

    std::vector<Bytes> wire;
    std::deque<int> replies;
    for (int k = 0; k < 3; ++k)
        replies.push_back((data[3] >> (2 * k)) & 3);
    // The poll takes the status level only from a good answer, and only when the table
    // reaches byte 8.
    uint8_t statusLevel =
        pollTaken && memorySize > addr::kStatusLevel ? line.polledStatusLevel : 1;
    FUZZ_CHECK(program.Profile().statusLevel == statusLevel || n > addr::kStatusLevel,
               "status level %u, expected %u", program.Profile().statusLevel, statusLevel);
    // Only a whole, well-formed status confirms a write (unless none is sent).
    const auto confirmed = [&](uint8_t to) {
        const int kind = replies.front();
        replies.pop_front();
        return to == kBroadcastId || statusLevel == 0 || kind == 0;
    };
    bool ok = false;
    uint8_t selected = id;
    std::vector<int> follows;
    if (n <= kMaxWriteCount) {
        ok = true;
        if (locked) {
            wire.push_back(Packet(id, instr::kWrite, {static_cast<uint8_t>(lock), 0}));
            ok = confirmed(id);
        }
        if (ok) {
            // The ID, rate and status level follow the block only where it reaches them.
            if (n > addr::kStatusLevel)
                statusLevel = image[addr::kStatusLevel];
            Bytes params{0};
            params.insert(params.end(), file.begin(), file.begin() + n);
            wire.push_back(Packet(id, instr::kWrite, params));
            ok = confirmed(id);
            if (ok) {
                if (n > addr::kId)
                    selected = image[addr::kId];
                if (n > addr::kBaudCode)
                    follows.push_back(image[addr::kBaudCode]);
                if (locked) {
                    wire.push_back(Packet(selected, instr::kWrite, {static_cast<uint8_t>(lock), 1}));
                    ok = confirmed(selected);
                }
            }
        }
    }
    FUZZ_CHECK(line.packets.size() == wire.size(), "%zu packets sent, expected %zu",
               line.packets.size(), wire.size());
    for (size_t i = 0; i < wire.size(); ++i)
        FUZZ_CHECK(line.packets[i] == wire[i], "packet %zu differs from what was due", i);
    FUZZ_CHECK(result == (ok ? LoadResult::Loaded : LoadResult::Failed), "result %d, expected %s",
               static_cast<int>(result), ok ? "loaded" : "failed");
    FUZZ_CHECK(program.SelectedId() == selected, "selected ID %d, expected %u",
               program.SelectedId(), selected);
    FUZZ_CHECK(followed == follows, "the rate followed %zu times, expected %zu", followed.size(),
               follows.size());
    return 0;
}
