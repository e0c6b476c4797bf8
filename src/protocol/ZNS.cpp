#include "protocol/ZNS.h"

#include <cstdlib>

uint8_t PacketChecksum(const uint8_t* bytes, int n)
{
    unsigned sum = 0;
    for (int i = 0; i < n; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(~sum);
}

uint16_t EncodeSignMagnitude(int value, int signBit)
{
    if (value >= 0 || signBit < 0 || signBit > 15)
        return static_cast<uint16_t>(value);
    return static_cast<uint16_t>(static_cast<unsigned>(-static_cast<long long>(value)) |
                                 (1u << signBit));
}

int16_t DecodeSignMagnitude(uint16_t field, int signBit)
{
    if (signBit < 0 || signBit > 15 || !(field & (1u << signBit)))
        return static_cast<int16_t>(field);
    return static_cast<int16_t>(-static_cast<int>(field & ~(1u << signBit)));
}

int ZNS::SendPacket(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n,
                    uint8_t instruction)
{
    if (data == nullptr) {
        const uint8_t header[5] = {0xFF, 0xFF, id, 2, instruction};
        SendBytes(header, 5);
        return SendByte(PacketChecksum(header + 2, 3));
    }
    // LEN = n + 3 must fit its byte: a longer block would go out with a wrapped length that
    // every servo misreads, so it is not sent at all.
    if (n > 252)
        return 0;
    const uint8_t header[6] = {0xFF, 0xFF, id, static_cast<uint8_t>(n + 3), instruction, address};
    unsigned sum = static_cast<unsigned>(id) + header[3] + instruction + address;
    for (int i = 0; i < n; ++i)
        sum += data[i];
    SendBytes(header, 6);
    SendBytes(data, n);
    return SendByte(static_cast<uint8_t>(~sum));
}

int ZNS::SendSyncPacket(const uint8_t* ids, int count, uint8_t address, const uint8_t* block,
                        uint8_t length)
{
    // The length byte covers every group; a list it can't count is not sent.
    const long long len = (static_cast<long long>(length) + 1) * count + 4;
    if (count < 0 || len > 255 || (count > 0 && ids == nullptr) ||
        (length > 0 && block == nullptr))
        return 0;
    const uint8_t head[7] = {0xFF, 0xFF, kBroadcastId, static_cast<uint8_t>(len),
                             instr::kSyncWrite, address, length};
    unsigned sum = 0;
    for (int i = 2; i < 7; ++i)
        sum += head[i];
    unsigned blockSum = 0;
    for (int i = 0; i < length; ++i)
        blockSum += block[i];
    SendBytes(head, 7);
    for (int g = 0; g < count; ++g) {
        SendByte(ids[g]);
        SendBytes(block, length);
        sum += ids[g] + blockSum;
    }
    return SendByte(static_cast<uint8_t>(~sum));
}

int ZNS::AwaitStatus(uint8_t id)
{
    if (id == kBroadcastId || statusLevel == 0)
        return 1;
    uint8_t status[kStatusPacketSize];
    return ReceiveBytes(status, kStatusPacketSize) == kStatusPacketSize ? 1 : 0;
}

std::array<uint8_t, 2> ZNS::WordToBytes(int value) const
{
    const auto low = static_cast<uint8_t>(value & 0xFF);
    const auto high = static_cast<uint8_t>((value >> 8) & 0xFF);
    if (byteOrder == 0)
        return {low, high};
    return {high, low};
}

uint16_t ZNS::BytesToWord(const uint8_t* bytes) const
{
    if (byteOrder == 0)
        return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

int ZNS::ReadMemory(uint8_t id, uint8_t address, uint8_t* buffer, uint8_t n)
{
    FlushInput();
    const uint8_t params[1] = {n};
    SendPacket(id, address, params, 1, instr::kRead);
    uint8_t head[kReplyHeadSize];
    if (ReceiveBytes(head, kReplyHeadSize) < kReplyHeadSize)
        return 0;
    // A reply from another ID is the late answer to an earlier request (it came after that
    // exchange's time-out and after this one's flush): taking it would put that servo's
    // bytes under this ID, so a search would list phantom servos.
    if (head[2] != id)
        return 0;
    const int received = buffer != nullptr ? ReceiveBytes(buffer, n) : 0;
    uint8_t checksum;
    if (ReceiveBytes(&checksum, 1) < 1)
        return 0;
    return received;
}

int ZNS::WriteExchange(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n,
                       uint8_t instruction)
{
    FlushInput();
    // A block too long for one packet is not sent; awaiting a status for it would only
    // turn a refused send into a reported success. Missing data can't be sent either.
    if (n > 252 || (data == nullptr && n > 0))
        return 0;
    // A write always carries its address: an empty block (whose data pointer may well be
    // null) must not turn into a packet without parameters.
    static const uint8_t noData = 0;
    SendPacket(id, address, data != nullptr ? data : &noData, n, instruction);
    return AwaitStatus(id);
}

int ZNS::BareExchange(uint8_t id, uint8_t instruction)
{
    FlushInput();
    SendPacket(id, 0, nullptr, 0, instruction);
    return AwaitStatus(id);
}

int ZNS::WriteMemory(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n)
{
    return WriteExchange(id, address, data, n, instr::kWrite);
}

int ZNS::RegWriteMemory(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n)
{
    return WriteExchange(id, address, data, n, instr::kRegWrite);
}

int ZNS::WriteByte(uint8_t id, uint8_t address, uint8_t value)
{
    return WriteExchange(id, address, &value, 1, instr::kWrite);
}

int ZNS::WriteWord(uint8_t id, uint8_t address, int value)
{
    const auto bytes = WordToBytes(value);
    return WriteExchange(id, address, bytes.data(), 2, instr::kWrite);
}

std::array<uint8_t, 7> ZNS::PositionBlock(int position, int acceleration, int speed,
                                          int time) const
{
    const auto p = WordToBytes(EncodeSignMagnitude(static_cast<int16_t>(position), 15));
    const auto t = WordToBytes(time);
    const auto s = WordToBytes(speed);
    return {static_cast<uint8_t>(acceleration), p[0], p[1], t[0], t[1], s[0], s[1]};
}

int ZNS::SendPositionCommand(uint8_t id, int position, int acceleration, int speed, int time,
                             uint8_t instruction)
{
    FlushInput();
    const auto block = PositionBlock(position, acceleration, speed, time);
    SendPacket(id, positionAddress, block.data(), 7, instruction);
    return AwaitStatus(id);
}

int ZNS::WritePosition(uint8_t id, int position, int acceleration, int speed, int time)
{
    return SendPositionCommand(id, position, acceleration, speed, time, instr::kWrite);
}

int ZNS::RegWritePosition(uint8_t id, int position, int acceleration, int speed, int time)
{
    return SendPositionCommand(id, position, acceleration, speed, time, instr::kRegWrite);
}

int ZNS::SyncWritePosition(const uint8_t* ids, int count, int position, int acceleration,
                           int speed, int time)
{
    const auto block = PositionBlock(position, acceleration, speed, time);
    return SendSyncPacket(ids, count, positionAddress, block.data(), 7);
}

int ZNS::Action()
{
    return SendPacket(kBroadcastId, 0, nullptr, 0, instr::kAction);
}

int ZNS::RequestUpgrade(uint8_t id)
{
    return SendPacket(id, 0, nullptr, 0, instr::kUpgrade);
}

int ZNS::RestoreParameters(uint8_t id)
{
    return BareExchange(id, instr::kRestore);
}

int ZNS::RiskyOperation(uint8_t id)
{
    return BareExchange(id, instr::kRisky);
}

int ZNS::ResetAngle(uint8_t id)
{
    return BareExchange(id, instr::kResetAngle);
}
