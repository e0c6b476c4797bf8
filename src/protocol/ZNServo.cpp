#include "protocol/ZNServo.h"

int ZNServo::SendByte(uint8_t value)
{
    std::lock_guard lock(heldMutex);
    PacketTap* const t = tap.load(std::memory_order_relaxed);
    if (held.empty()) {
        const int sent = comm.Write(&value, 1);
        if (t && sent == 1)
            t->Packet(PacketView{PacketDirection::Out, Verdict::Sent, Damage::None,
                                 LoaderStep::None, LoaderStep::None, 0, &value, 1});
        return sent;
    }
    held.push_back(value);
    const int n = static_cast<int>(held.size());
    const int sent = comm.Write(held.data(), n);
    if (t && sent == n)
        t->Packet(PacketView{PacketDirection::Out, Verdict::Sent, Damage::None, LoaderStep::None,
                             LoaderStep::None, 0, held.data(), n});
    held.clear();
    return sent == n ? 1 : 0;
}

int ZNServo::SendBytes(const uint8_t* buffer, int n)
{
    if (buffer == nullptr || n <= 0)
        return 0;
    std::lock_guard lock(heldMutex);
    held.insert(held.end(), buffer, buffer + n);
    return n;
}

int ZNServo::ReceiveBytes(uint8_t* buffer, int n)
{
    if (buffer == nullptr)
        return 0;
    const int got = comm.Read(buffer, n);
    if (got > 0 && tap.load(std::memory_order_relaxed))
        incoming.insert(incoming.end(), buffer, buffer + got);
    return got;
}

int ZNServo::FlushInput()
{
    {
        std::lock_guard lock(heldMutex);
        held.clear();
    }
    incoming.clear();
    return comm.PurgeInput();
}

void ZNServo::ReplyEnded(const Reply& reply)
{
    if (PacketTap* const t = tap.load(std::memory_order_relaxed)) {
        const int n = static_cast<int>(incoming.size());
        t->Packet(PacketView{PacketDirection::In, VerdictOf(reply, n), reply.damage,
                             LoaderStep::None, LoaderStep::None, 0, incoming.data(), n});
    }
    incoming.clear();
}

void ZNServo::TraceLoader(PacketDirection direction, LoaderStep step, LoaderStep answering,
                          int block, const uint8_t* bytes, int n)
{
    if (PacketTap* const t = tap.load(std::memory_order_relaxed))
        t->Packet(PacketView{direction, direction == PacketDirection::Out ? Verdict::Sent
                                        : n > 0                           ? Verdict::Good
                                                                          : Verdict::NoAnswer,
                             Damage::None, step, answering, block, bytes, n});
}
