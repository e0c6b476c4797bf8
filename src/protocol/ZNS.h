#pragma once
// The servo bus protocol: instruction packets FF FF ID LEN INSTR parameters CHK, sync-write
// packets, status and read replies, and the servo operations built on them, over the bus's
// one port (tests give it a scripted one). Every operation says what its exchange came to
// (Reply); nothing per servo is kept here.

#include "protocol/PacketTap.h"
#include "protocol/Reply.h"
#include "serial/Port.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

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

// How many servos one sync-write packet can address with a block of `length` bytes: its
// length byte counts every group (ID and block) plus four. 31 for a position block of 7
// bytes, 125 for a single byte.
constexpr int SyncGroupsPerPacket(int length)
{
    return (255 - 4) / (length + 1);
}

// Bitwise complement of the low 8 bits of the sum of the bytes.
uint8_t PacketChecksum(const uint8_t* bytes, int n);

// Sign and magnitude with the sign in bit `signBit`: a negative value becomes its magnitude
// with that bit set; decoding gives minus the field with the bit cleared.
uint16_t EncodeSignMagnitude(int value, int signBit);
int16_t DecodeSignMagnitude(uint16_t field, int signBit);

class ZNS {
public:
    explicit ZNS(Port& port) : port(port) {}
    ZNS(const ZNS&) = delete;
    ZNS& operator=(const ZNS&) = delete;

    // Bytes to and from the port. Every packet ends with a SendByte (its checksum). Blocks
    // sent before it are held and go out together with that byte in one write, so a packet
    // costs one system call and the far end sees it whole.
    int SendByte(uint8_t value);
    int SendBytes(const uint8_t* buffer, int n);
    int ReceiveBytes(uint8_t* buffer, int n);
    int FlushInput();
    // Whether the port leads anywhere: an exchange on a closed port is "port closed", not a
    // servo that kept silent.
    bool ChannelOpen() const { return port.IsOpen(); }
    // Whether the device behind the port went away: "port gone", not a silent servo.
    bool ChannelGone() const { return port.Gone(); }
    // Bytes that came after the last exchange ended and wait unread.
    int ChannelWaiting() { return port.InputWaiting() + static_cast<int>(kept.size() - keptAt); }
    // Reads what waits unasked for (a network server's greeting), shows it to the tap as
    // stray and drops it. Returns how many bytes went.
    int DropStray();
    // The time-out each read of a reply may wait: the port's kept one.
    int ReplyTimeoutMs() const { return port.TimeoutMs(); }

    // Another time-out for the exchanges of one scope (a scan that asks a late servo again, a
    // write that may take long, a client's exchange); when the scope ends the time-out in
    // force before it is back (an enclosing scope's, else the port's kept one), so nothing of
    // it reaches the next exchange. Set changes it within the scope.
    class ReplyTimeout {
    public:
        ReplyTimeout(ZNS& z, int ms) : z(z), outer(z.scopedTimeoutMs) { Set(ms); }
        ~ReplyTimeout()
        {
            z.scopedTimeoutMs = outer;
            z.port.OverrideTimeout(outer > 0 ? outer : z.port.TimeoutMs());
        }
        void Set(int ms)
        {
            z.scopedTimeoutMs = ms;
            z.port.OverrideTimeout(ms);
        }
        ReplyTimeout(const ReplyTimeout&) = delete;
        ReplyTimeout& operator=(const ReplyTimeout&) = delete;

    private:
        ZNS& z;
        const int outer;  // the enclosing scope's time-out; 0: none
    };

    // Whether replies have come after an echo of their request: an adapter whose transmit and
    // receive lines are joined hands back every byte sent. The first replies after opening
    // are looked at for it; found, every reply is read past its echo from then on, and the
    // echo of a packet without a reply is read as well, so it never meets the next exchange.
    // Forgotten when the port opens again.
    bool EchoFound() const { return echoFound.load(std::memory_order_relaxed); }
    void ForgetEcho()
    {
        echoFound.store(false, std::memory_order_relaxed);
        echoClear = 0;
    }
    // How many replies without an echo settle that the adapter has none: from then on
    // replies are read as they come, with no look for it.
    static constexpr int kEchoLooks = 3;
    // A line known to hand back nothing of what is sent: no reply is looked at for an echo
    // (a scripted line whose replies are checked read by read).
    void SettleNoEcho()
    {
        echoFound.store(false, std::memory_order_relaxed);
        echoClear = kEchoLooks;
    }

    // Whom every packet is shown to, or nobody (nullptr). The tap must outlive its use; it
    // is called on the thread of the running exchange.
    void SetTap(PacketTap* t) { tap.store(t, std::memory_order_relaxed); }
    // One step of the firmware loader, whose bytes go around the packets: `bytes` out, then
    // one answer byte back (-1 for none); both shown to the tap with their step.
    int LoaderExchange(LoaderStep step, int block, const uint8_t* bytes, int n);

    // Framing. Without data (data == nullptr) the packet has no parameters. Nonzero when the
    // packet went out whole.
    int SendPacket(uint8_t id, uint8_t address, const uint8_t* data, uint8_t n,
                   uint8_t instruction);
    int SendSyncPacket(const uint8_t* ids, int count, uint8_t address, const uint8_t* block,
                       uint8_t length);

    // Replies, each checked whole before anything of it is taken: header FF FF, the ID asked,
    // the length byte, the checksum. A status packet is expected unless the ID is the
    // broadcast ID or the servo's status level is 0.
    Reply AwaitStatus(const ServoProfile& profile, uint8_t id);
    Reply ReceiveReadReply(uint8_t id, uint8_t* buffer, uint8_t n);

    static std::array<uint8_t, 2> WordToBytes(const ServoProfile& profile, int value);
    // The 7-byte block written at the position address: acceleration, position, time, speed.
    static std::array<uint8_t, 7> PositionBlock(const ServoProfile& profile, int position,
                                                int acceleration, int speed, int time);

    // Servo operations. A read needs no profile: its bytes come back as the servo holds them.
    Reply ReadMemory(uint8_t id, uint8_t address, uint8_t* buffer, uint8_t n);
    Reply WriteMemory(const ServoProfile& profile, uint8_t id, uint8_t address,
                      const uint8_t* data, uint8_t n);
    Reply RegWriteMemory(const ServoProfile& profile, uint8_t id, uint8_t address,
                         const uint8_t* data, uint8_t n);
    Reply WriteByte(const ServoProfile& profile, uint8_t id, uint8_t address, uint8_t value);
    Reply WriteWord(const ServoProfile& profile, uint8_t id, uint8_t address, int value);
    Reply WritePosition(const ServoProfile& profile, uint8_t id, int position,
                        int acceleration, int speed, int time);
    Reply RegWritePosition(const ServoProfile& profile, uint8_t id, int position,
                           int acceleration, int speed, int time);
    // Packets without replies: answered once they went out whole.
    Reply SyncWritePosition(const ServoProfile& profile, const uint8_t* ids, int count,
                            int position, int acceleration, int speed, int time);
    // One sync-write packet whose groups each carry their own block: `groups` holds `count`
    // groups of an ID followed by its `length` bytes, written at `address` of each servo.
    // Not sent (WriteFailed) when the packet's length byte can't count them.
    Reply SyncWriteEach(uint8_t address, uint8_t length, const uint8_t* groups, int count);
    Reply Action();
    Reply RequestUpgrade(uint8_t id);
    Reply RestoreParameters(const ServoProfile& profile, uint8_t id);
    Reply RiskyOperation(const ServoProfile& profile, uint8_t id);
    Reply ResetAngle(const ServoProfile& profile, uint8_t id);

    // What a packet that expects no reply came to.
    Reply Sent(int sendResult) const;

    // Exchanges that follow one another with nothing between them on the bus (a parameter
    // save or load, a scan, a run of sync writes): on a shared bus the owner runs nothing
    // else meanwhile. Nests; a port of this program's own ignores it.
    class Uninterrupted {
    public:
        explicit Uninterrupted(ZNS& z) : port(z.port) { port.Hold(true); }
        ~Uninterrupted() { port.Hold(false); }
        Uninterrupted(const Uninterrupted&) = delete;
        Uninterrupted& operator=(const Uninterrupted&) = delete;

    private:
        Port& port;
    };

    // Another program's exchange on this bus: `packet` (one whole packet) goes out as it is
    // and, unless `replySize` is 0 or the packet is a broadcast, a reply of `replySize` bytes
    // (a status packet, or a read reply of replySize - 6 data bytes) is awaited and checked
    // as this program's own would be. `reply` gets the bytes that came, as they came.
    Reply Relay(const uint8_t* packet, int n, int replySize, std::vector<uint8_t>& reply);

private:
    // Called once a reply has been judged, whatever it came to (the traffic record's verdict).
    void ReplyEnded(const Reply& reply);
    // Before a reply: reads past the echo of the packet just sent when it is there; bytes
    // that are not the echo are kept for the reply's reads. `firstRead`: the size of the
    // reply's own first read.
    void SkipEcho(int firstRead);
    // After a packet without a reply on an echoing line: reads its echo.
    void DrainEcho();
    // The loader's bytes, shown to the tap with their step.
    void TraceLoader(PacketDirection direction, LoaderStep step, LoaderStep answering,
                     int block, const uint8_t* bytes, int n);
    // The reply size a request to `id` waits for: a status packet, or none.
    static int StatusSize(const ServoProfile& profile, uint8_t id);
    Reply CheckStatus(uint8_t id);
    Reply CheckReadReply(uint8_t id, uint8_t* buffer, uint8_t n);
    Reply WriteExchange(const ServoProfile& profile, uint8_t id, uint8_t address,
                        const uint8_t* data, uint8_t n, uint8_t instruction);
    Reply BareExchange(const ServoProfile& profile, uint8_t id, uint8_t instruction);
    Reply SendPositionCommand(const ServoProfile& profile, uint8_t id, int position,
                              int acceleration, int speed, int time, uint8_t instruction);
    // A reply cut short (`started`: part of it came), or a failed check: the rest of it is
    // dropped.
    Reply Short(bool started);
    Reply Broken(Damage damage);
    // The late answer of `from` to an earlier request.
    Reply OtherId(uint8_t from);
    // What an exchange that got nothing came to: `ifThere` unless the port is gone or closed.
    Outcome Unanswered(Outcome ifThere) const;

    Port& port;
    // Only bus jobs send, one at a time; this mutex only keeps a second sender that goes
    // around the bus owner from corrupting the vector.
    std::mutex heldMutex;
    std::vector<uint8_t> held;
    std::vector<uint8_t> lastSent;  // the last packet that went out whole
    // Bytes read while looking for an echo that were not one: the reply's first bytes.
    std::vector<uint8_t> kept;
    size_t keptAt = 0;
    bool keptOnly = false;  // the read for them timed out: the reply has nothing more
    std::atomic<bool> echoFound{false};
    int echoClear = 0;  // replies seen without an echo since the port opened
    int scopedTimeoutMs = 0;  // the innermost ReplyTimeout's; 0: the port's kept one
    // Closed inspector: one relaxed load per packet and per read.
    std::atomic<PacketTap*> tap{nullptr};
    std::vector<uint8_t> incoming;  // the bytes of the reply being read, while tapped or relayed
    bool relaying = false;          // a Relay's reply is being read
    std::vector<uint8_t> relayed;   // its bytes
};
