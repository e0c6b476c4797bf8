// Builds without the network library (Windows): a network port name is understood, and its
// opening says that this build has no network ports.
#include "serial/NetworkPort.h"

namespace {

class NoNetworkPort final : public Port {
public:
    int Open(const std::string&) override
    {
        failure = {OpenError::Other, "network ports are not available in this build"};
        return 0;
    }
    int Close() override { return 0; }
    int SetBaudRate(int rate) override { return rate; }
    int OverrideTimeout(int) override { return 0; }
    int Write(const uint8_t*, int) override { return 0; }
    int Read(uint8_t*, int) override { return 0; }
    int PurgeInput() override { return 0; }
    int InputWaiting() override { return 0; }
    bool IsOpen() const override { return false; }
    bool Gone() const override { return false; }
    const OpenFailure& LastOpenError() const override { return failure; }
    bool RateRefused() const override { return false; }
    RateControl Rates() const override { return RateControl::Fixed; }
    PortTiming Timing() const override { return {}; }
    int BaudRate() const override { return kDefaultRate; }
    int TimeoutMs() const override { return timeoutMs; }
    void SetTimeoutMs(int ms) override { timeoutMs = ms; }

private:
    OpenFailure failure;
    int timeoutMs = 100;
};

}  // namespace

std::unique_ptr<Port> MakeNetworkPort()
{
    return std::make_unique<NoNetworkPort>();
}
