#pragma once
// The protocol bound to the program's serial port.

#include "protocol/ZNS.h"
#include "serial/CZNComm.h"

#include <mutex>
#include <vector>

class ZNServo : public ZNS {
public:
    explicit ZNServo(CZNComm& port) : comm(port) {}

    // Every packet ends with a SendByte (its checksum). Blocks sent before it are held and go
    // out together with that byte in one write, so a packet costs one system call and the
    // far end sees it whole.
    int SendByte(uint8_t value) override;
    int SendBytes(const uint8_t* buffer, int n) override;
    int ReceiveBytes(uint8_t* buffer, int n) override;
    int FlushInput() override;
    bool ChannelOpen() const override { return comm.IsOpen(); }
    bool ChannelGone() const override { return comm.Gone(); }

    CZNComm& comm;

private:
    // Only bus jobs send, one at a time; this mutex only keeps a second sender that goes
    // around the bus owner from corrupting the vector.
    std::mutex heldMutex;
    std::vector<uint8_t> held;
};
