#pragma once
// A port that is another program's bus: the port name is held by an owner of this user
// (BusShare), and this program attaches to it. Each packet written goes to the owner as one
// exchange (the packet, the reply it waits for, the time-out), and the reply's bytes come
// back to be read. The owner's rate stays: any other is refused, as are the firmware
// loader's bytes and its request. Closing detaches; the owner's port stays open. When the
// owner closes its port or ends, the port is gone.

#include "serial/Port.h"
#include "share/ShareEndpoint.h"

namespace share {
class FrameLink;
}

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class SharedPort final : public Port {
public:
    SharedPort();
    ~SharedPort() override;

    // Attaches to the owner of `name`; 0 (NoSuchDevice) when no program of this user holds it.
    int Open(const std::string& name) override;
    int Close() override;
    // The owner's rate is taken (and its purge); any other is refused (RateRefused).
    int SetBaudRate(int rate) override;
    void SetTimeoutMs(int ms) override;
    int OverrideTimeout(int ms) override;
    // One whole packet: sent as an exchange, whose reply Read then gives. Anything else
    // (the loader's bytes, its request) is not sent: 0.
    int Write(const uint8_t* buffer, int n) override;
    int Read(uint8_t* buffer, int n) override;
    int PurgeInput() override;
    int InputWaiting() override { return 0; }
    bool IsOpen() const override { return opened.load(); }
    bool Gone() const override { return gone.load(); }
    const OpenFailure& LastOpenError() const override { return openError; }
    bool RateRefused() const override { return rateRefused; }
    RateControl Rates() const override { return RateControl::Shared; }
    PortTiming Timing() const override { return timing; }
    int BaudRate() const override { return rate.load(); }
    int TimeoutMs() const override { return timeoutMs; }
    ShareOwner SharedBy() const override;
    void NextReply(int bytes) override { nextReply = bytes; }
    void Hold(bool hold) override;

    // How long an exchange may wait for the owner beyond its own time-out (the owner's
    // poll, other clients' turns, a sequence of another client) before the owner counts as
    // gone.
    static constexpr int kOwnerWaitMs = 30000;

private:
    void Lose();

    std::unique_ptr<share::Stream> stream;
    std::unique_ptr<share::FrameLink> frames;
    std::atomic<bool> opened{false};
    OpenFailure openError;
    std::atomic<bool> gone{false};
    std::atomic<int> rate{0};
    std::atomic<bool> rateRefused{false};
    std::atomic<int> timeoutMs{100};
    int inForce = 100;
    int nextReply = -1;  // -1: not told; judged from the packet
    int holds = 0;
    PortTiming timing;
    mutable std::mutex ownerMutex;
    ShareOwner owner;
    std::vector<uint8_t> reply;  // the last exchange's reply, read from `replyAt`
    size_t replyAt = 0;
};
