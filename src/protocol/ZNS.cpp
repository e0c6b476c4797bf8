#include "protocol/ZNS.h"

#include <algorithm>
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
    // Only the checksum goes with SendByte: the whole packet leaves in one write, and a tap
    // sees it as one packet.
    for (int g = 0; g < count; ++g) {
        SendBytes(&ids[g], 1);
        SendBytes(block, length);
        sum += ids[g] + blockSum;
    }
    return SendByte(static_cast<uint8_t>(~sum));
}

Reply ZNS::Sent(int sendResult) const
{
    if (sendResult)
        return Reply::Answered();
    return Reply::Failed(Unanswered(Outcome::WriteFailed));
}

Outcome ZNS::Unanswered(Outcome ifThere) const
{
    if (ChannelGone())
        return Outcome::PortGone;
    return ChannelOpen() ? ifThere : Outcome::PortClosed;
}

Reply ZNS::Short(bool started)
{
    Reply r = Reply::Failed(Unanswered(Outcome::NoAnswer));
    r.partial = started;
    return r;
}

Reply ZNS::Broken(Damage damage)
{
    // Whatever is left of the reply stays unread; the next exchange drops it with its flush.
    return Reply::Failed(Outcome::Damaged, damage);
}

Reply ZNS::OtherId(uint8_t from)
{
    Reply r = Broken(Damage::Id);
    r.from = from;
    return r;
}

int ZNS::StatusSize(const ServoProfile& profile, uint8_t id)
{
    return id == kBroadcastId || profile.statusLevel == 0 ? 0 : kStatusPacketSize;
}

Reply ZNS::Relay(const uint8_t* packet, int n, int replySize, std::vector<uint8_t>& reply)
{
    reply.clear();
    FlushInput();
    if (packet == nullptr || n < 6 || n > 259)
        return Reply::Failed(Outcome::WriteFailed);
    SendBytes(packet, n - 1);
    if (!SendByte(packet[n - 1]))
        return Sent(0);
    const uint8_t id = packet[2];
    if (replySize <= 0 || id == kBroadcastId) {
        DrainEcho();
        return Reply::Answered();
    }
    // A status packet is a read reply without data: one check serves both.
    relaying = true;
    Reply r;
    if (replySize == kStatusPacketSize) {
        r = CheckStatus(id);
        ReplyEnded(r);
    } else {
        const int data = std::min(replySize - kStatusPacketSize, 255);
        r = ReceiveReadReply(id, nullptr, static_cast<uint8_t>(data));
    }
    relaying = false;
    reply = relayed;
    relayed.clear();
    return r;
}

Reply ZNS::AwaitStatus(const ServoProfile& profile, uint8_t id)
{
    if (id == kBroadcastId || profile.statusLevel == 0) {
        DrainEcho();
        return Reply::Answered();
    }
    const Reply reply = CheckStatus(id);
    ReplyEnded(reply);
    return reply;
}

Reply ZNS::ReceiveReadReply(uint8_t id, uint8_t* buffer, uint8_t n)
{
    const Reply reply = CheckReadReply(id, buffer, n);
    ReplyEnded(reply);
    return reply;
}

Reply ZNS::CheckStatus(uint8_t id)
{
    SkipEcho(kStatusPacketSize);
    uint8_t status[kStatusPacketSize];
    if (const int got = ReceiveBytes(status, kStatusPacketSize); got != kStatusPacketSize)
        return Short(got > 0);
    if (status[0] != 0xFF || status[1] != 0xFF)
        return Broken(Damage::Header);
    // A status of another ID is the late answer to an earlier request.
    if (status[2] != id)
        return OtherId(status[2]);
    if (status[3] != 2)
        return Broken(Damage::Length);
    if (PacketChecksum(status + 2, 3) != status[5])
        return Broken(Damage::Checksum);
    return Reply::Answered(0, status[4]);
}

Reply ZNS::CheckReadReply(uint8_t id, uint8_t* buffer, uint8_t n)
{
    SkipEcho(kReplyHeadSize);
    uint8_t head[kReplyHeadSize];
    if (const int got = ReceiveBytes(head, kReplyHeadSize); got < kReplyHeadSize)
        return Short(got > 0);
    if (head[0] != 0xFF || head[1] != 0xFF)
        return Broken(Damage::Header);
    // A reply from another ID is the late answer to an earlier request (it came after that
    // exchange's time-out and after this one's flush): taking it would put that servo's
    // bytes under this ID, so a search would list phantom servos.
    if (head[2] != id)
        return OtherId(head[2]);
    if (head[3] != n + 2)
        return Broken(Damage::Length);
    // The data goes to a scratch block first: nothing of a reply reaches the caller before
    // its checksum has been seen.
    uint8_t data[256];
    uint8_t checksum = 0;
    if (ReceiveBytes(data, n) < n || ReceiveBytes(&checksum, 1) < 1)
        return Short(true);
    unsigned sum = static_cast<unsigned>(head[2]) + head[3] + head[4];
    for (int i = 0; i < n; ++i)
        sum += data[i];
    if (static_cast<uint8_t>(~sum) != checksum)
        return Broken(Damage::Checksum);
    if (buffer != nullptr)
        std::copy_n(data, n, buffer);
    return Reply::Answered(buffer != nullptr ? n : 0, head[4]);
}

std::array<uint8_t, 2> ZNS::WordToBytes(const ServoProfile& profile, int value)
{
    const auto low = static_cast<uint8_t>(value & 0xFF);
    const auto high = static_cast<uint8_t>((value >> 8) & 0xFF);
    if (profile.byteOrder == 0)
        return {low, high};
    return {high, low};
}

Reply ZNS::ReadMemory(uint8_t id, uint8_t address, uint8_t* buffer, uint8_t n)
{
    FlushInput();
    const uint8_t params[1] = {n};
    port.NextReply(id == kBroadcastId ? 0 : n + kStatusPacketSize);
    if (!SendPacket(id, address, params, 1, instr::kRead))
        return Sent(0);
    return ReceiveReadReply(id, buffer, n);
}

Reply ZNS::WriteExchange(const ServoProfile& profile, uint8_t id, uint8_t address,
                         const uint8_t* data, uint8_t n, uint8_t instruction)
{
    FlushInput();
    // A block too long for one packet is not sent; awaiting a status for it would only
    // turn a refused send into a reported success. Missing data can't be sent either.
    if (n > 252 || (data == nullptr && n > 0))
        return Reply::Failed(Outcome::WriteFailed);
    // A write always carries its address: an empty block (whose data pointer may well be
    // null) must not turn into a packet without parameters.
    static const uint8_t noData = 0;
    port.NextReply(StatusSize(profile, id));
    if (!SendPacket(id, address, data != nullptr ? data : &noData, n, instruction))
        return Sent(0);
    return AwaitStatus(profile, id);
}

Reply ZNS::BareExchange(const ServoProfile& profile, uint8_t id, uint8_t instruction)
{
    FlushInput();
    port.NextReply(StatusSize(profile, id));
    if (!SendPacket(id, 0, nullptr, 0, instruction))
        return Sent(0);
    return AwaitStatus(profile, id);
}

Reply ZNS::WriteMemory(const ServoProfile& profile, uint8_t id, uint8_t address,
                       const uint8_t* data, uint8_t n)
{
    return WriteExchange(profile, id, address, data, n, instr::kWrite);
}

Reply ZNS::RegWriteMemory(const ServoProfile& profile, uint8_t id, uint8_t address,
                          const uint8_t* data, uint8_t n)
{
    return WriteExchange(profile, id, address, data, n, instr::kRegWrite);
}

Reply ZNS::WriteByte(const ServoProfile& profile, uint8_t id, uint8_t address, uint8_t value)
{
    return WriteExchange(profile, id, address, &value, 1, instr::kWrite);
}

Reply ZNS::WriteWord(const ServoProfile& profile, uint8_t id, uint8_t address, int value)
{
    const auto bytes = WordToBytes(profile, value);
    return WriteExchange(profile, id, address, bytes.data(), 2, instr::kWrite);
}

std::array<uint8_t, 7> ZNS::PositionBlock(const ServoProfile& profile, int position,
                                          int acceleration, int speed, int time)
{
    const auto p =
        WordToBytes(profile, EncodeSignMagnitude(static_cast<int16_t>(position), 15));
    const auto t = WordToBytes(profile, time);
    const auto s = WordToBytes(profile, speed);
    return {static_cast<uint8_t>(acceleration), p[0], p[1], t[0], t[1], s[0], s[1]};
}

Reply ZNS::SendPositionCommand(const ServoProfile& profile, uint8_t id, int position,
                               int acceleration, int speed, int time, uint8_t instruction)
{
    FlushInput();
    const auto block = PositionBlock(profile, position, acceleration, speed, time);
    port.NextReply(StatusSize(profile, id));
    if (!SendPacket(id, profile.positionAddress, block.data(), 7, instruction))
        return Sent(0);
    return AwaitStatus(profile, id);
}

Reply ZNS::WritePosition(const ServoProfile& profile, uint8_t id, int position,
                         int acceleration, int speed, int time)
{
    return SendPositionCommand(profile, id, position, acceleration, speed, time, instr::kWrite);
}

Reply ZNS::RegWritePosition(const ServoProfile& profile, uint8_t id, int position,
                            int acceleration, int speed, int time)
{
    return SendPositionCommand(profile, id, position, acceleration, speed, time,
                               instr::kRegWrite);
}

Reply ZNS::SyncWritePosition(const ServoProfile& profile, const uint8_t* ids, int count,
                             int position, int acceleration, int speed, int time)
{
    const auto block = PositionBlock(profile, position, acceleration, speed, time);
    port.NextReply(0);
    const int sent = SendSyncPacket(ids, count, profile.positionAddress, block.data(), 7);
    if (sent)
        DrainEcho();
    return Sent(sent);
}

Reply ZNS::Action()
{
    port.NextReply(0);
    const int sent = SendPacket(kBroadcastId, 0, nullptr, 0, instr::kAction);
    if (sent)
        DrainEcho();
    return Sent(sent);
}

Reply ZNS::RequestUpgrade(uint8_t id)
{
    port.NextReply(0);
    return Sent(SendPacket(id, 0, nullptr, 0, instr::kUpgrade));
}

Reply ZNS::RestoreParameters(const ServoProfile& profile, uint8_t id)
{
    return BareExchange(profile, id, instr::kRestore);
}

Reply ZNS::RiskyOperation(const ServoProfile& profile, uint8_t id)
{
    return BareExchange(profile, id, instr::kRisky);
}

Reply ZNS::ResetAngle(const ServoProfile& profile, uint8_t id)
{
    return BareExchange(profile, id, instr::kResetAngle);
}

int ZNS::SendByte(uint8_t value)
{
    std::lock_guard lock(heldMutex);
    PacketTap* const t = tap.load(std::memory_order_relaxed);
    if (held.empty()) {
        const int sent = port.Write(&value, 1);
        if (sent == 1)
            lastSent.assign(1, value);
        if (t && sent == 1)
            t->Packet(PacketView{PacketDirection::Out, Verdict::Sent, Damage::None,
                                 LoaderStep::None, LoaderStep::None, 0, &value, 1});
        return sent;
    }
    held.push_back(value);
    const int n = static_cast<int>(held.size());
    const int sent = port.Write(held.data(), n);
    if (sent == n)
        lastSent.assign(held.begin(), held.end());
    if (t && sent == n)
        t->Packet(PacketView{PacketDirection::Out, Verdict::Sent, Damage::None, LoaderStep::None,
                             LoaderStep::None, 0, held.data(), n});
    held.clear();
    return sent == n ? 1 : 0;
}

int ZNS::SendBytes(const uint8_t* buffer, int n)
{
    if (buffer == nullptr || n <= 0)
        return 0;
    std::lock_guard lock(heldMutex);
    held.insert(held.end(), buffer, buffer + n);
    return n;
}

int ZNS::ReceiveBytes(uint8_t* buffer, int n)
{
    if (buffer == nullptr)
        return 0;
    int got = 0;
    while (got < n && keptAt < kept.size())
        buffer[got++] = kept[keptAt++];
    // A read of nothing still goes to the port, as every read did before the echo look.
    if ((got < n || n == 0) && !keptOnly) {
        const int more = port.Read(buffer + got, n - got);
        if (more > 0)
            got += more;
        else if (got == 0)
            got = more;
    }
    if (got > 0 && keptAt > 0 && keptAt >= kept.size()) {
        kept.clear();
        keptAt = 0;
    }
    if (got > 0 && (relaying || tap.load(std::memory_order_relaxed)))
        incoming.insert(incoming.end(), buffer, buffer + got);
    return got;
}

int ZNS::FlushInput()
{
    {
        std::lock_guard lock(heldMutex);
        held.clear();
    }
    incoming.clear();
    kept.clear();
    keptAt = 0;
    keptOnly = false;
    return port.PurgeInput();
}

void ZNS::SkipEcho(int firstRead)
{
    keptOnly = false;
    const size_t n = lastSent.size();
    if ((!EchoFound() && echoClear >= kEchoLooks) || n < kReplyHeadSize || n > 259 || keptAt < kept.size())
        return;
    // The look reads what the reply's own first read would (so a reply without an echo costs
    // no further call). A reply whose head matches the request's has its length too, so the
    // packet read here is never longer than the reply: looking costs no wait.
    uint8_t got[259];
    const int first = std::min(firstRead, static_cast<int>(n));
    int wanted = first;
    int have = std::max(port.Read(got, wanted), 0);
    bool echo = have == wanted && std::equal(got, got + wanted, lastSent.data());
    if (echo && static_cast<int>(n) > first) {
        wanted = static_cast<int>(n);
        have += std::max(port.Read(got + first, wanted - first), 0);
        echo = have == wanted && std::equal(got, got + n, lastSent.data());
    }
    if (echo) {
        echoFound.store(true, std::memory_order_relaxed);
        return;
    }
    // A reply's head without the echo before it counts toward settling that there is none.
    if (have >= first)
        ++echoClear;
    kept.assign(got, got + have);
    keptAt = 0;
    // A read that came short has waited out the time-out: the reply has no more to give.
    keptOnly = have < wanted;
}

void ZNS::DrainEcho()
{
    if (!EchoFound() || lastSent.empty() || lastSent.size() > 259)
        return;
    uint8_t echo[259];
    port.Read(echo, static_cast<int>(lastSent.size()));
}

void ZNS::ReplyEnded(const Reply& reply)
{
    keptOnly = false;
    if (relaying)
        relayed = incoming;
    if (PacketTap* const t = tap.load(std::memory_order_relaxed)) {
        const int n = static_cast<int>(incoming.size());
        t->Packet(PacketView{PacketDirection::In, VerdictOf(reply, n), reply.damage,
                             LoaderStep::None, LoaderStep::None, 0, incoming.data(), n});
    }
    incoming.clear();
}

void ZNS::TraceLoader(PacketDirection direction, LoaderStep step, LoaderStep answering,
                          int block, const uint8_t* bytes, int n)
{
    if (PacketTap* const t = tap.load(std::memory_order_relaxed))
        t->Packet(PacketView{direction, direction == PacketDirection::Out ? Verdict::Sent
                                        : n > 0                           ? Verdict::Good
                                                                          : Verdict::NoAnswer,
                             Damage::None, step, answering, block, bytes, n});
}

int ZNS::DropStray()
{
    const int waiting = port.InputWaiting();
    if (waiting <= 0)
        return 0;
    std::vector<uint8_t> stray(static_cast<size_t>(waiting));
    const int got = std::max(port.Read(stray.data(), waiting), 0);
    if (PacketTap* const t = tap.load(std::memory_order_relaxed))
        t->Packet(PacketView{PacketDirection::In, Verdict::Stray, Damage::None, LoaderStep::None,
                             LoaderStep::None, 0, stray.data(), got});
    return got;
}

int ZNS::LoaderExchange(LoaderStep step, int block, const uint8_t* bytes, int n)
{
    const int written = port.Write(bytes, n);
    if (written > 0)
        TraceLoader(PacketDirection::Out, step, LoaderStep::None, block, bytes, written);
    uint8_t answer = 0;
    const int got = port.Read(&answer, 1);
    TraceLoader(PacketDirection::In, LoaderStep::Answer, step, block, &answer, got == 1 ? 1 : 0);
    return got == 1 ? answer : -1;
}

const char* DamageName(Damage damage)
{
    switch (damage) {
    case Damage::Header: return "header";
    case Damage::Id: return "ID";
    case Damage::Length: return "length";
    case Damage::Checksum: return "checksum";
    case Damage::None: break;
    }
    return "none";
}

std::string ReplyText(const Reply& reply, int timeoutMs)
{
    switch (reply.outcome) {
    case Outcome::Answered: return "answered";
    case Outcome::NoAnswer: return "no answer within " + std::to_string(timeoutMs) + " ms";
    case Outcome::Damaged: return std::string("damaged answer (") + DamageName(reply.damage) + ")";
    case Outcome::PortClosed: return "port closed";
    case Outcome::PortGone: return "port gone";
    case Outcome::WriteFailed: return "packet not sent";
    }
    return "?";
}
