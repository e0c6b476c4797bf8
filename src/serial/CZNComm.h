#pragma once
// The program's one serial port: opens a device by name, applies the bus's line settings and
// time-outs, and moves bytes with blocking calls bounded by those time-outs.

#include "serial/OpenError.h"
#include "serial/PortInfo.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Whether a rate the driver reports running at is the one asked for: within 2 %, the
// tolerance of an asynchronous line (a driver may report the rate its divisor makes).
inline bool RateMatches(int actual, int asked)
{
    const long long diff = static_cast<long long>(actual) - asked;
    return (diff < 0 ? -diff : diff) * 50 <= asked;
}

class CZNComm {
public:
    static constexpr int kClosed = -1;
    // A read or write whose time-out is 0 (or negative) would wait forever on the bench;
    // it is bounded by this many milliseconds instead.
    static constexpr int kUnboundedTimeoutCapMs = 1000;

    CZNComm() = default;
    CZNComm(const CZNComm&) = delete;
    CZNComm& operator=(const CZNComm&) = delete;
    virtual ~CZNComm();

    virtual int Open(const std::string& name);
    // Why the last Open failed (reason None after a success). For the caller of Open, on
    // its thread.
    const OpenFailure& LastOpenError() const { return openFailure; }
    virtual int Close();
    // Waits until everything written has left, then purges the input, sets the line and
    // reads its rate back into `baudRate`: a rate the driver refuses leaves another one
    // there (RateRefused tells). Returns the rate in force before.
    virtual int SetBaudRate(int rate);
    // Whether the last SetBaudRate asked for a rate the driver did not take.
    bool RateRefused() const { return rateRefused; }
    virtual int SetTimeouts(int ms);
    virtual int Write(const uint8_t* buffer, int n);
    virtual int Read(uint8_t* buffer, int n);
    virtual int PurgeInput();
    int EnumeratePorts();

    // What Open learnt of the device: a USB adapter, and its latency timer in ms (-1 when
    // unknown or when it has none). Open asks USB adapters for low latency first.
    std::atomic<int32_t> latencyMs{-1};
    std::atomic<bool> usbDevice{false};
    // Where the port list and Open look the system's devices up.
    SystemRoots systemRoots;

    virtual bool IsOpen() const { return handle != kClosed; }
    // The device went away under the open port (an adapter pulled, a bus whose far end
    // closed): the port has closed itself, so the system can give the name to the device
    // when it comes back, and every exchange fails at once until Close or the next Open.
    virtual bool Gone() const { return gone; }

    // Atomic because the window may close the port while a worker is between exchanges.
    std::atomic<int> handle{kClosed};
    std::array<std::string, 256> portNames{};
    int32_t portCount = -1;
    // Set by the window, read by the workers and polls.
    std::atomic<int32_t> timeoutMs{100};
    std::atomic<int32_t> baudRate{1000000};

protected:
    int OpenFailed(OpenError reason, int systemError = 0);
    OpenFailure openFailure;
    std::atomic<bool> rateRefused{false};

private:
    int TakeReceived(uint8_t* buffer, int n);
    // Marks the port gone and closes the device; takes no lock (Read holds receivedMutex).
    void Vanished();

    std::atomic<bool> gone{false};
    std::atomic<int> readTimeoutMs{100};
    std::atomic<int> writeTimeoutMs{100};
    // Bytes read from the device ahead of the caller: a reply is fetched with as few system
    // calls as possible and handed out in the pieces the caller asks for. Callers are meant
    // to hold the bus lock for a whole exchange; this mutex only keeps one that forgets it
    // from corrupting the buffer (a read, a purge and a rate change each take it whole).
    std::mutex receivedMutex;
    std::array<uint8_t, 1024> received{};
    size_t receivedBegin = 0;
    size_t receivedEnd = 0;
};

// The serial devices present on this system, in natural order ("ttyS2" before "ttyS10"), as
// full device paths. sysClassTty is the kernel's tty class folder, devDir the device folder;
// both are parameters so tests can lay out a tree of their own. Returns false when the
// tty class folder can't be read at all.
bool ListSerialPorts(const std::string& sysClassTty, const std::string& devDir,
                     std::vector<std::string>& names);
