#include "sim/BusLine.h"

namespace {

class ChannelLine : public BusLine {
public:
    ChannelLine(std::shared_ptr<ByteChannel> c, std::string n) : channel(std::move(c)), name(std::move(n)) {}
    ~ChannelLine() override { Close(); }

    bool Open(std::string&) override
    {
        channel->OpenFar();
        return true;
    }
    void Close() override { channel->CloseFar(); }
    const std::string& Name() const override { return name; }
    int Receive(uint8_t* bytes, int n, int waitMs, int& rate, std::atomic<bool>& taking) override
    {
        return channel->FarRead(bytes, n, ByteChannel::Clock::now() + std::chrono::milliseconds(waitMs),
                                rate, &taking);
    }
    void Send(const uint8_t* bytes, size_t n) override { channel->FarWrite(bytes, n); }
    bool Waiting() const override { return channel->FarWaiting(); }

private:
    std::shared_ptr<ByteChannel> channel;
    std::string name;
};

}  // namespace

std::unique_ptr<BusLine> MakeChannelLine(std::shared_ptr<ByteChannel> channel, std::string name)
{
    return std::make_unique<ChannelLine>(std::move(channel), std::move(name));
}
