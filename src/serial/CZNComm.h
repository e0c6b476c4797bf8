#pragma once
// The serial port on this machine: opens a device by name, applies the bus's line settings
// and time-outs, and moves bytes with blocking calls bounded by those time-outs. It also
// lists the system's serial devices.

#include "serial/PortInfo.h"
#include "serial/Port.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CZNComm : public Port {
public:
    CZNComm() = default;
    ~CZNComm() override;

    int Open(const std::string& name) override;
    const OpenFailure& LastOpenError() const override { return openFailure; }
    int Close() override;
    // Waits until everything written has left, then purges the input, sets the line and
    // reads its rate back: a rate the driver refuses leaves another one there (RateRefused
    // tells). Returns the rate in force before.
    int SetBaudRate(int rate) override;
    bool RateRefused() const override { return rateRefused; }
    int SetTimeouts(int ms) override;
    int Write(const uint8_t* buffer, int n) override;
    int Read(uint8_t* buffer, int n) override;
    int PurgeInput() override;
    int InputWaiting() override;
    bool IsOpen() const override { return handle != kClosed; }
    // The device went away under the open port (an adapter pulled, a bus whose far end
    // closed): the port has closed itself, so the system can give the name to the device
    // when it comes back.
    bool Gone() const override { return gone; }
    RateControl Rates() const override { return RateControl::Device; }
    // What Open learnt of the device: a USB adapter, and its latency timer. Open asks USB
    // adapters for low latency first.
    PortTiming Timing() const override { return {latencyMs, usbDevice, 0}; }
    int BaudRate() const override { return baudRate; }
    int TimeoutMs() const override { return timeoutMs; }
    void SetTimeoutMs(int ms) override { timeoutMs = ms; }

    // The system's serial devices: fills PortNames, returns their count (-1 until the first
    // enumeration that could read the system's list; a failed one changes nothing).
    int EnumeratePorts();
    const std::vector<std::string>& PortNames() const { return portNames; }
    int PortCount() const { return portCount; }
    // Where the port list and Open look the system's devices up (tests lay out their own).
    void SetSystemRoots(const SystemRoots& roots) { systemRoots = roots; }
    // The system's handle of the open device (kClosed when none), for tests that look at
    // the device's settings from the outside.
    int Handle() const { return handle; }

protected:
    int OpenFailed(OpenError reason, int systemError = 0);
    OpenFailure openFailure;
    std::atomic<bool> rateRefused{false};
    // Set by the window, read by the workers and polls.
    std::atomic<int32_t> timeoutMs{100};
    std::atomic<int32_t> baudRate{kDefaultRate};

private:
    int TakeReceived(uint8_t* buffer, int n);
    // Marks the port gone and closes the device; takes no lock (Read holds receivedMutex).
    void Vanished();

    // Atomic because the window may close the port while a worker is between exchanges.
    std::atomic<int> handle{kClosed};
    std::vector<std::string> portNames;
    int32_t portCount = -1;
    std::atomic<int32_t> latencyMs{-1};
    std::atomic<bool> usbDevice{false};
    SystemRoots systemRoots;
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
