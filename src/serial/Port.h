#pragma once
// The bus's port as the protocol and the bus owner see it: a serial device on this machine or
// one served over the network. It opens by name, applies the bus's line settings and
// time-outs, and moves bytes with blocking calls bounded by those time-outs. Each kind keeps
// its state to itself.

#include "serial/OpenError.h"

#include <cstdint>
#include <string>

// Who sets the line's rate.
enum class RateControl {
    Device,  // the local driver
    Server,  // the server, asked over the network (RFC 2217)
    Fixed,   // the server's own setting, which the client cannot change (raw TCP)
    Shared,  // another program of this user owns the port and shares its bus at its rate
};

// The program that owns a port this one is attached to (empty program: not attached).
struct ShareOwner {
    std::string program;  // "servo-debugger", "servoctl", ...
    int pid = 0;
    bool operator==(const ShareOwner&) const = default;
    explicit operator bool() const { return !program.empty(); }
};

// What a port knows of the time its exchanges lose outside the wire.
struct PortTiming {
    int latencyMs = -1;   // the adapter's latency timer (-1: unknown or none)
    bool usb = false;     // the device is a USB adapter
    int roundTripUs = 0;  // a network port's round trip to its server, measured on open
};

class Port {
public:
    static constexpr int kClosed = -1;
    // A read or write whose time-out is 0 (or negative) would wait forever on the bench;
    // it is bounded by this many milliseconds instead.
    static constexpr int kUnboundedTimeoutCapMs = 1000;
    static constexpr int kDefaultRate = 1000000;

    Port() = default;
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    virtual ~Port() = default;

    // 1 = opened, 0 = failed (LastOpenError tells why).
    virtual int Open(const std::string& name) = 0;
    virtual int Close() = 0;
    // Puts the bus's line settings and TimeoutMs in force at `rate` and purges both ways.
    // Returns the rate in force before; a rate not taken leaves another (RateRefused).
    virtual int SetBaudRate(int rate) = 0;
    // Keeps `ms` as the port's time-out and puts it in force (open or not, every later rate
    // change puts it in force again).
    virtual void SetTimeoutMs(int ms) = 0;
    // Puts `ms` in force for the moment without keeping it (a scan's longer wait for a late
    // servo, a write that may take long); SetTimeoutMs or SetBaudRate puts the kept one
    // back. 0 on a closed port.
    virtual int OverrideTimeout(int ms) = 0;
    virtual int Write(const uint8_t* buffer, int n) = 0;
    virtual int Read(uint8_t* buffer, int n) = 0;
    virtual int PurgeInput() = 0;
    // Bytes that arrived and wait to be read (a reply that came after its exchange ended).
    virtual int InputWaiting() = 0;

    virtual bool IsOpen() const = 0;
    // The device or the connection went away under the open port: the port has closed
    // itself and every exchange fails at once until Close or the next Open.
    virtual bool Gone() const = 0;
    // Why the last Open failed (reason None after a success).
    virtual const OpenFailure& LastOpenError() const = 0;
    // Whether the last SetBaudRate asked for a rate the port did not take.
    virtual bool RateRefused() const = 0;
    virtual RateControl Rates() const = 0;
    virtual PortTiming Timing() const = 0;

    // The rate the last SetBaudRate applied.
    virtual int BaudRate() const = 0;
    // The kept time-out (SetTimeoutMs).
    virtual int TimeoutMs() const = 0;

    // Sharing another program's bus. A port that opens devices itself ignores these.
    // Whether the next Open must open the device itself (true) rather than attach to another
    // program of this user that holds the name and shares it (false, the default).
    virtual void SetExclusive(bool /*exclusive*/) {}
    // Who owns the bus this port is attached to; empty when it is not attached. Any thread.
    virtual ShareOwner SharedBy() const { return {}; }
    // The size of the reply the next packet written waits for (0: none), told by the
    // protocol just before it writes a request: an attached port sends whole exchanges.
    virtual void NextReply(int /*bytes*/) {}
    // The exchanges between Hold(true) and Hold(false) follow one another on the bus with
    // nothing of another program between them. Nests.
    virtual void Hold(bool /*hold*/) {}
};

// Whether a rate the driver reports running at is the one asked for: within 2 %, the
// tolerance of an asynchronous line (a driver may report the rate its divisor makes).
inline bool RateMatches(int actual, int asked)
{
    const long long diff = static_cast<long long>(actual) - asked;
    return (diff < 0 ? -diff : diff) * 50 <= asked;
}
