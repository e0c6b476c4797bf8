#include "sim/PacketParser.h"

void PacketParser::Reset()
{
    state = State::Sync1;
    raw.clear();
    remaining = 0;
}

bool PacketParser::Feed(uint8_t byte, std::chrono::steady_clock::time_point now,
                        BusPacket& packet)
{
    if (state != State::Sync1 && now - last > kByteGap)
        Reset();
    last = now;
    switch (state) {
    case State::Sync1:
        if (byte == 0xFF) {
            raw.assign(1, byte);
            state = State::Sync2;
        }
        return false;
    case State::Sync2:
        if (byte == 0xFF) {
            raw.push_back(byte);
            state = State::Id;
        } else {
            Reset();
        }
        return false;
    case State::Id:
        if (byte != 0xFF) {  // further 0xFF bytes are more of the preamble
            raw.push_back(byte);
            state = State::Length;
        }
        return false;
    case State::Length:
        if (byte < 2) {
            Reset();
            return false;
        }
        raw.push_back(byte);
        remaining = byte;
        state = State::Body;
        return false;
    case State::Body:
        raw.push_back(byte);
        if (--remaining > 0)
            return false;
        break;
    }
    // raw: FF FF ID LEN INSTR params... CHK
    unsigned sum = 0;
    for (size_t i = 2; i + 1 < raw.size(); ++i)
        sum += raw[i];
    packet.id = raw[2];
    packet.instruction = raw[4];
    packet.params.assign(raw.begin() + 5, raw.end() - 1);
    packet.raw = raw;
    packet.checksumOk = static_cast<uint8_t>(~sum) == raw.back();
    Reset();
    return true;
}
