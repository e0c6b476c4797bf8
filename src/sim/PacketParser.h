#pragma once
// Splits the bytes a servo hears into instruction packets FF FF ID LEN INSTR params CHK.

#include <chrono>
#include <cstdint>
#include <vector>

struct BusPacket {
    uint8_t id = 0;
    uint8_t instruction = 0;
    std::vector<uint8_t> params;
    std::vector<uint8_t> raw;  // the whole packet as received
    bool checksumOk = false;
};

class PacketParser {
public:
    // A packet that stalls this long between two bytes is abandoned, as a servo's receiver
    // times out.
    static constexpr std::chrono::milliseconds kByteGap{50};

    // Takes one byte; true when it completed a packet, which is then in `packet`.
    bool Feed(uint8_t byte, std::chrono::steady_clock::time_point now, BusPacket& packet);
    void Reset();

private:
    enum class State { Sync1, Sync2, Id, Length, Body } state = State::Sync1;
    std::vector<uint8_t> raw;
    int remaining = 0;
    std::chrono::steady_clock::time_point last{};
};
