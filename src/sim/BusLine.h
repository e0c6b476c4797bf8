#pragma once
// The virtual bus's side of its line: a pseudo-terminal that programs open as a device (POSIX),
// or an in-process channel whose near end is a port object in the same program.

#include "serial/ByteChannel.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class BusLine {
public:
    virtual ~BusLine() = default;
    // Makes the line; afterwards Name() is what a program opens.
    virtual bool Open(std::string& error) = 0;
    virtual void Close() = 0;
    virtual const std::string& Name() const = 0;
    // Waits up to `waitMs` for bytes from the program and takes up to n of them with the rate
    // the line ran at when they came; 0 when none came. `taking` is set just before bytes
    // leave the line, so that whoever sees the line empty and `taking` clear knows that
    // everything sent has been handled.
    virtual int Receive(uint8_t* bytes, int n, int waitMs, int& rate, std::atomic<bool>& taking) = 0;
    virtual void Send(const uint8_t* bytes, size_t n) = 0;
    // Whether bytes from the program wait unread.
    virtual bool Waiting() const = 0;
};

// A pseudo-terminal, where the system has them (on others Open fails and says so).
std::unique_ptr<BusLine> MakeDeviceLine();
// The far end of an in-process channel, opened by its near end's port under `name`.
std::unique_ptr<BusLine> MakeChannelLine(std::shared_ptr<ByteChannel> channel, std::string name);
