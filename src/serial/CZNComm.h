#pragma once
// The serial port on this machine: opens a device by name, applies the bus's line settings
// and time-outs, and moves bytes with blocking calls bounded by those time-outs.

#include "serial/PortInfo.h"
#include "serial/Port.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

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
    void SetTimeoutMs(int ms) override
    {
        timeoutMs = ms;
        OverrideTimeout(ms);
    }
    int OverrideTimeout(int ms) override;
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
    // What Open learnt of the device: a USB adapter, and its latency timer. On Linux Open
    // asks USB adapters for low latency first; on Windows it reads the driver's setting.
    PortTiming Timing() const override { return {latencyMs, usbDevice, 0}; }
    int BaudRate() const override { return baudRate; }
    int TimeoutMs() const override { return timeoutMs; }

    // Where Open looks the device up (tests lay out their own).
    void SetSystemRoots(const SystemRoots& roots) { systemRoots = roots; }
    // The system's handle of the open device (kClosed when none), for tests that look at
    // the device's settings from the outside.
    int Handle() const { return handle; }

private:
    int OpenFailed(OpenError reason, int systemError = 0);
    OpenFailure openFailure;
    std::atomic<bool> rateRefused{false};
    // Set by a bus job, read by any thread.
    std::atomic<int32_t> timeoutMs{100};
    std::atomic<int32_t> baudRate{kDefaultRate};
    int TakeReceived(uint8_t* buffer, int n);
    // Marks the port gone and closes the device; takes no lock (Read holds receivedMutex).
    void Vanished();

    // Atomic because the window may close the port while a worker is between exchanges.
    std::atomic<int> handle{kClosed};
    std::atomic<int32_t> latencyMs{-1};
    std::atomic<bool> usbDevice{false};
    SystemRoots systemRoots;
    std::atomic<bool> gone{false};
    std::atomic<int> readTimeoutMs{100};
    std::atomic<int> writeTimeoutMs{100};
    // Bytes read from the device ahead of the caller: a reply is fetched with as few system
    // calls as possible and handed out in the pieces the caller asks for. Only bus jobs
    // exchange, one at a time; this mutex only keeps a caller that goes around the bus owner
    // from corrupting the buffer (a read, a purge and a rate change each take it whole).
    std::mutex receivedMutex;
    std::array<uint8_t, 1024> received{};
    size_t receivedBegin = 0;
    size_t receivedEnd = 0;
};
