#include "sim/BusLine.h"

namespace {

// Windows has no pseudo-terminals: a virtual bus there runs on an in-process channel.
class NoDeviceLine : public BusLine {
public:
    bool Open(std::string& error) override
    {
        error = "no pseudo-terminals on this system: use an in-process line";
        return false;
    }
    void Close() override {}
    const std::string& Name() const override { return name; }
    int Receive(uint8_t*, int, int, int&, std::atomic<bool>&) override { return 0; }
    void Send(const uint8_t*, size_t) override {}
    bool Waiting() const override { return false; }

private:
    std::string name;
};

}  // namespace

std::unique_ptr<BusLine> MakeDeviceLine()
{
    return std::make_unique<NoDeviceLine>();
}
