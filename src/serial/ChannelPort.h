#pragma once
// A port on an in-process line (the demo bus where no pseudo-terminal exists): it opens the
// line by the line's own name and nothing else. It behaves as a port on a device: total
// time-outs per read and per write, one holder at a time, every rate taken, and a far end
// that goes is a port gone.

#include "serial/ByteChannel.h"
#include "serial/Port.h"

#include <atomic>
#include <memory>
#include <string>

class ChannelPort final : public Port {
public:
    ChannelPort(std::string lineName, std::shared_ptr<ByteChannel> line);
    ~ChannelPort() override;

    // The name that opens the line.
    const std::string& LineName() const { return lineName; }

    int Open(const std::string& name) override;
    int Close() override;
    int SetBaudRate(int rate) override;
    void SetTimeoutMs(int ms) override;
    int OverrideTimeout(int ms) override;
    int Write(const uint8_t* buffer, int n) override;
    int Read(uint8_t* buffer, int n) override;
    int PurgeInput() override;
    int InputWaiting() override;
    bool IsOpen() const override;
    bool Gone() const override;
    // Only Open, on the bus's thread, changes it.
    const OpenFailure& LastOpenError() const override { return failure; }
    bool RateRefused() const override { return false; }
    RateControl Rates() const override { return RateControl::Device; }
    PortTiming Timing() const override { return {}; }
    int BaudRate() const override { return baudRate; }
    int TimeoutMs() const override { return timeoutMs; }

private:
    int OpenFailed(OpenError reason);

    const std::string lineName;
    const std::shared_ptr<ByteChannel> line;
    OpenFailure failure;
    std::atomic<bool> onLine{false};
    std::atomic<bool> lineGone{false};
    std::atomic<int> timeoutMs{100};
    std::atomic<int> lineTimeoutMs{100};
    std::atomic<int> baudRate{kDefaultRate};
};
