#pragma once
// The servo bus protocol: instruction packets FF FF ID LEN INSTR parameters CHK, sync-write
// packets, status and read replies, and the servo operations built on them. The byte channel
// is four virtual operations, bound to the serial port by ZNServo and scripted by tests.

#include <array>
#include <atomic>
#include <cstdint>

namespace instr {
inline constexpr uint8_t kRead = 2;
inline constexpr uint8_t kWrite = 3;
inline constexpr uint8_t kRegWrite = 4;
inline constexpr uint8_t kAction = 5;
inline constexpr uint8_t kRestore = 6;
inline constexpr uint8_t kUpgrade = 8;
inline constexpr uint8_t kRisky = 9;
inline constexpr uint8_t kResetAngle = 10;
inline constexpr uint8_t kSyncWrite = 0x83;
}  // namespace instr

inline constexpr uint8_t kBroadcastId = 254;
inline constexpr int kStatusPacketSize = 6;
inline constexpr int kReplyHeadSize = 5;

// Bitwise complement of the low 8 bits of the sum of the bytes.
uint8_t PacketChecksum(const uint8_t* bytes, int n);

// Sign and magnitude with the sign in bit `signBit`: a negative value becomes its magnitude
// with that bit set; decoding gives minus the field with the bit cleared.
uint16_t EncodeSignMagnitude(int value, int signBit);
int16_t DecodeSignMagnitude(uint16_t field, int signBit);

class ZNS {
public:
    virtual ~ZNS() = default;

    // Byte channel.
    virtual int SendByte(uint8_t value) = 0;
    virtual int SendBytes(const uint8_t* buffer, int n) = 0;
    virtual int ReceiveBytes(uint8_t* buffer, int n) = 0;
    virtual int FlushInput() = 0;

    // Framing. Without data (data == nullptr) the packet has no parameters.
    int SendPacket(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n,
                   uint8_t instruction);
    int SendSyncPacket(const uint8_t* ids, int count, uint8_t address, const uint8_t* block,
                       uint8_t length);
    int AwaitStatus(uint8_t id);
    std::array<uint8_t, 2> WordToBytes(int value) const;
    uint16_t BytesToWord(const uint8_t* bytes) const;

    // Servo operations.
    int ReadMemory(uint8_t id, uint8_t address, uint8_t* buffer, uint8_t n);
    int WriteMemory(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n);
    int RegWriteMemory(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n);
    int WriteByte(uint8_t id, uint8_t address, uint8_t value);
    int WriteWord(uint8_t id, uint8_t address, int value);
    int WritePosition(uint8_t id, int position, int acceleration, int speed, int time);
    int RegWritePosition(uint8_t id, int position, int acceleration, int speed, int time);
    int SyncWritePosition(const uint8_t* ids, int count, int position, int acceleration,
                          int speed, int time);
    int Action();
    int RequestUpgrade(uint8_t id);
    int RestoreParameters(uint8_t id);
    int RiskyOperation(uint8_t id);
    int ResetAngle(uint8_t id);

    // The 7-byte block written at positionAddress: acceleration, position, time, speed.
    std::array<uint8_t, 7> PositionBlock(int position, int acceleration, int speed,
                                         int time) const;

    // Set by the window, the pages and their pollers from different threads.
    std::atomic<uint8_t> statusLevel{1};
    std::atomic<uint8_t> byteOrder{0};
    // First address of the position block; one above the model's torque switch.
    std::atomic<uint8_t> positionAddress{41};

private:
    int WriteExchange(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n,
                      uint8_t instruction);
    int BareExchange(uint8_t id, uint8_t instruction);
    int SendPositionCommand(uint8_t id, int position, int acceleration, int speed, int time,
                            uint8_t instruction);
};
