#pragma once
// The bus's one port for the whole run: a name opens what it names. A name another program
// of this user holds and shares attaches to its bus (unless told to be exclusive); else
// rfc2217:// and tcp:// names open a network port, the in-process line's name (where there
// is one: the demo's) the line, any other name a serial device. The time-out carries over
// from one kind to the next; each kind keeps its own rate.

#include "serial/ChannelPort.h"
#include "serial/Port.h"

#include <atomic>
#include <memory>

class PortByName final : public Port {
public:
    explicit PortByName(std::unique_ptr<Port> device, std::unique_ptr<ChannelPort> line = nullptr);
    ~PortByName() override;

    int Open(const std::string& name) override;
    int Close() override { return Active().Close(); }
    int SetBaudRate(int rate) override { return Active().SetBaudRate(rate); }
    void SetTimeoutMs(int ms) override { Active().SetTimeoutMs(ms); }
    int OverrideTimeout(int ms) override { return Active().OverrideTimeout(ms); }
    int Write(const uint8_t* buffer, int n) override { return Active().Write(buffer, n); }
    int Read(uint8_t* buffer, int n) override { return Active().Read(buffer, n); }
    int PurgeInput() override { return Active().PurgeInput(); }
    int InputWaiting() override { return Active().InputWaiting(); }
    bool IsOpen() const override { return Active().IsOpen(); }
    bool Gone() const override { return Active().Gone(); }
    const OpenFailure& LastOpenError() const override { return Active().LastOpenError(); }
    bool RateRefused() const override { return Active().RateRefused(); }
    RateControl Rates() const override { return Active().Rates(); }
    PortTiming Timing() const override { return Active().Timing(); }
    int BaudRate() const override { return Active().BaudRate(); }
    int TimeoutMs() const override { return Active().TimeoutMs(); }
    void SetExclusive(bool e) override { exclusive = e; }
    ShareOwner SharedBy() const override { return Active().SharedBy(); }
    void NextReply(int bytes) override { Active().NextReply(bytes); }
    void Hold(bool hold) override { Active().Hold(hold); }

private:
    Port& Active() const { return *active.load(); }

    std::unique_ptr<Port> device;
    std::unique_ptr<ChannelPort> line;
    std::unique_ptr<Port> network;  // made at the first network name
    std::unique_ptr<Port> shared;   // another program's bus
    bool exclusive = false;
    // Read by other threads (the window asks whether the port is open); changed only by
    // Open, on the bus's thread.
    std::atomic<Port*> active;
};
