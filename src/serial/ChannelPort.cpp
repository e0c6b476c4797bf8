#include "serial/ChannelPort.h"

#include <chrono>

ChannelPort::ChannelPort(std::string name, std::shared_ptr<ByteChannel> channel)
    : lineName(std::move(name)), line(std::move(channel))
{
}

ChannelPort::~ChannelPort()
{
    Close();
}

int ChannelPort::Open(const std::string& name)
{
    Close();
    if (name != lineName)
        return CZNComm::Open(name);
    openFailure = {};
    if (!line->FarOpen())
        return OpenFailed(OpenError::NoSuchDevice);
    if (!line->Attach())
        return OpenFailed(OpenError::Busy);
    lineGone = false;
    onLine = true;
    return 1;
}

int ChannelPort::Close()
{
    lineGone = false;
    if (!onLine.exchange(false))
        return CZNComm::Close();
    line->Detach();
    return 1;
}

int ChannelPort::SetBaudRate(int rate)
{
    if (!onLine)
        return CZNComm::SetBaudRate(rate);
    SetTimeouts(timeoutMs);
    const int previous = line->Rate();
    if (rate > 0)
        line->SetRate(rate);
    line->NearPurge();
    baudRate = line->Rate();
    rateRefused = false;
    return previous;
}

int ChannelPort::SetTimeouts(int ms)
{
    lineTimeoutMs = ms;
    return onLine ? 1 : CZNComm::SetTimeouts(ms);
}

int ChannelPort::Write(const uint8_t* buffer, int n)
{
    if (!onLine)
        return CZNComm::Write(buffer, n);
    if (buffer == nullptr || n <= 0 || lineGone)
        return 0;
    if (line->NearWrite(buffer, n))
        return n;
    lineGone = true;
    return 0;
}

int ChannelPort::Read(uint8_t* buffer, int n)
{
    if (!onLine)
        return CZNComm::Read(buffer, n);
    if (buffer == nullptr || n <= 0 || lineGone)
        return 0;
    const int ms = lineTimeoutMs > 0 ? lineTimeoutMs.load() : kUnboundedTimeoutCapMs;
    bool gone = false;
    const int got = line->NearRead(buffer, n,
                                   ByteChannel::Clock::now() + std::chrono::milliseconds(ms), gone);
    if (gone && got < n)
        lineGone = true;
    return got;
}

int ChannelPort::PurgeInput()
{
    if (!onLine)
        return CZNComm::PurgeInput();
    line->NearPurge();
    return 1;
}

int ChannelPort::InputWaiting()
{
    return onLine ? line->NearWaiting() : CZNComm::InputWaiting();
}

bool ChannelPort::IsOpen() const
{
    return (onLine && !lineGone) || CZNComm::IsOpen();
}

bool ChannelPort::Gone() const
{
    return (onLine && lineGone) || CZNComm::Gone();
}
