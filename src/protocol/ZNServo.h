#pragma once
// The protocol bound to the program's serial port.

#include "protocol/ZNS.h"
#include "serial/CZNComm.h"

class ZNServo : public ZNS {
public:
    explicit ZNServo(CZNComm& port) : comm(port) {}

    int SendByte(uint8_t value) override { return comm.Write(&value, 1); }
    int SendBytes(const uint8_t* buffer, int n) override
    {
        return buffer == nullptr ? 0 : comm.Write(buffer, n);
    }
    int ReceiveBytes(uint8_t* buffer, int n) override
    {
        return buffer == nullptr ? 0 : comm.Read(buffer, n);
    }
    int FlushInput() override { return comm.PurgeInput(); }

    CZNComm& comm;
};
