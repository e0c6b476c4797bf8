#pragma once
// The window's port when an in-process line is offered (the demo bus where no
// pseudo-terminal exists): the line's own name opens the line, any other name a serial
// device as usual. On the line, the port behaves as on a device: total time-outs per read
// and per write, one holder at a time, every rate taken, and a far end that goes is a port
// gone.

#include "serial/ByteChannel.h"
#include "serial/CZNComm.h"

#include <atomic>
#include <memory>
#include <string>

class ChannelPort : public CZNComm {
public:
    ChannelPort(std::string lineName, std::shared_ptr<ByteChannel> line);
    ~ChannelPort() override;

    int Open(const std::string& name) override;
    int Close() override;
    int SetBaudRate(int rate) override;
    int SetTimeouts(int ms) override;
    int Write(const uint8_t* buffer, int n) override;
    int Read(uint8_t* buffer, int n) override;
    int PurgeInput() override;
    int InputWaiting() override;
    bool IsOpen() const override;
    bool Gone() const override;

private:
    const std::string lineName;
    const std::shared_ptr<ByteChannel> line;
    std::atomic<bool> onLine{false};
    std::atomic<bool> lineGone{false};
    std::atomic<int> lineTimeoutMs{100};
};
