#pragma once
// The protocol bound to the program's serial port.

#include "protocol/PacketTap.h"
#include "protocol/ZNS.h"
#include "serial/Port.h"

#include <atomic>
#include <mutex>
#include <vector>

class ZNServo : public ZNS {
public:
    explicit ZNServo(Port& port) : comm(port) {}

    // Every packet ends with a SendByte (its checksum). Blocks sent before it are held and go
    // out together with that byte in one write, so a packet costs one system call and the
    // far end sees it whole.
    int SendByte(uint8_t value) override;
    int SendBytes(const uint8_t* buffer, int n) override;
    int ReceiveBytes(uint8_t* buffer, int n) override;
    int FlushInput() override;
    bool ChannelOpen() const override { return comm.IsOpen(); }
    bool ChannelGone() const override { return comm.Gone(); }
    int ChannelWaiting() override { return comm.InputWaiting(); }
    int ReplyTimeoutMs() const override { return comm.TimeoutMs(); }
    void SetReplyTimeout(int ms) override { comm.SetTimeouts(ms); }
    void RestoreReplyTimeout() override { comm.SetTimeouts(comm.TimeoutMs()); }

    // Whom every packet is shown to, or nobody (nullptr). The tap must outlive its use; it
    // is called on the thread of the running exchange.
    void SetTap(PacketTap* t) { tap.store(t, std::memory_order_relaxed); }
    // The loader's unframed bytes, which go around the packet operations, with their step.
    void TraceLoader(PacketDirection direction, LoaderStep step, LoaderStep answering,
                     int block, const uint8_t* bytes, int n);

    Port& comm;

protected:
    void ReplyEnded(const Reply& reply) override;

private:
    // Only bus jobs send, one at a time; this mutex only keeps a second sender that goes
    // around the bus owner from corrupting the vector.
    std::mutex heldMutex;
    std::vector<uint8_t> held;
    // Closed inspector: one relaxed load per packet and per read.
    std::atomic<PacketTap*> tap{nullptr};
    std::vector<uint8_t> incoming;  // the bytes of the reply being read, while tapped
};
