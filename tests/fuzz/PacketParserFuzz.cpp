// servo-sim's packet parser over an arbitrary byte stream with pauses: every packet it
// completes must be a well-formed frame made of the bytes just heard, with no stall inside
// it, and after a pause any garbage is forgotten: a valid packet that follows is found.
//
// Input: one timing byte, then the stream. Bytes arrive 1 ms apart; when the timing byte's
// low 7 bits are k > 0, every k-th byte comes after a pause instead, of 50 ms (not yet a
// stall) when bit 7 is set, else 51 ms (a stall).
#include "FuzzCheck.h"

#include "sim/PacketParser.h"

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Heard {
    uint8_t byte;
    Clock::time_point at;
};

void CheckPacket(const BusPacket& p, const std::vector<Heard>& heard)
{
    const auto& raw = p.raw;
    FUZZ_CHECK(raw.size() >= 6, "packet of %zu bytes", raw.size());
    FUZZ_CHECK(raw[0] == 0xFF && raw[1] == 0xFF, "no FF FF head");
    FUZZ_CHECK(raw[2] != 0xFF && p.id == raw[2], "ID");
    FUZZ_CHECK(raw[3] >= 2 && raw.size() == raw[3] + 4u, "LEN %d for %zu bytes", raw[3], raw.size());
    FUZZ_CHECK(p.instruction == raw[4], "instruction");
    FUZZ_CHECK(p.params == std::vector<uint8_t>(raw.begin() + 5, raw.end() - 1), "parameters");
    unsigned sum = 0;
    for (size_t i = 2; i + 1 < raw.size(); ++i)
        sum += raw[i];
    FUZZ_CHECK(p.checksumOk == (static_cast<uint8_t>(~sum) == raw.back()), "checksum verdict");

    // ID, LEN and the body are the last bytes heard, with no stall among them; FF FF (and any
    // further FF) came before them.
    const size_t tail = raw.size() - 2;
    FUZZ_CHECK(heard.size() >= raw.size(), "more bytes in the packet than heard");
    const size_t first = heard.size() - tail;
    for (size_t i = 0; i < tail; ++i) {
        FUZZ_CHECK(heard[first + i].byte == raw[2 + i], "byte %zu is not the one heard", i);
        if (i > 0)
            FUZZ_CHECK(heard[first + i].at - heard[first + i - 1].at <= PacketParser::kByteGap,
                       "a packet spans a stall");
    }
    FUZZ_CHECK(heard[first - 1].byte == 0xFF && heard[first - 2].byte == 0xFF, "head");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 1)
        return 0;
    const int every = data[0] & 0x7F;
    const milliseconds pause{(data[0] & 0x80) ? 50 : 51};
    PacketParser parser;
    BusPacket packet;
    std::vector<Heard> heard;
    auto now = Clock::time_point{} + std::chrono::hours(1);
    auto feed = [&](uint8_t byte) {
        heard.push_back({byte, now});
        if (parser.Feed(byte, now, packet)) {
            CheckPacket(packet, heard);
            return true;
        }
        return false;
    };
    for (size_t i = 1; i < size; ++i) {
        now += every > 0 && i % static_cast<size_t>(every) == 0 ? pause : milliseconds(1);
        feed(data[i]);
    }

    // After a stall, a read request of servo 1 is found whatever came before it.
    const std::vector<uint8_t> request{0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEF};
    now += milliseconds(100);
    for (size_t i = 0; i < request.size(); ++i) {
        now += milliseconds(1);
        const bool done = feed(request[i]);
        FUZZ_CHECK(done == (i + 1 == request.size()), "request completed at byte %zu", i);
    }
    FUZZ_CHECK(packet.raw == request && packet.checksumOk, "the request after a stall");
    return 0;
}
