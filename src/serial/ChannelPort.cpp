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

int ChannelPort::OpenFailed(OpenError reason)
{
    failure = {reason, {}};
    return 0;
}

int ChannelPort::Open(const std::string& name)
{
    Close();
    if (name != lineName)
        return OpenFailed(OpenError::NoSuchDevice);
    failure = {};
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
        return 0;
    line->Detach();
    return 1;
}

int ChannelPort::SetBaudRate(int rate)
{
    if (!onLine)
        return rate;
    OverrideTimeout(timeoutMs);
    const int previous = line->Rate();
    if (rate > 0)
        line->SetRate(rate);
    line->NearPurge();
    baudRate = line->Rate();
    return previous;
}

void ChannelPort::SetTimeoutMs(int ms)
{
    timeoutMs = ms;
    OverrideTimeout(ms);
}

int ChannelPort::OverrideTimeout(int ms)
{
    lineTimeoutMs = ms;
    return onLine ? 1 : 0;
}

int ChannelPort::Write(const uint8_t* buffer, int n)
{
    if (buffer == nullptr || n <= 0 || !onLine || lineGone)
        return 0;
    if (line->NearWrite(buffer, n))
        return n;
    lineGone = true;
    return 0;
}

int ChannelPort::Read(uint8_t* buffer, int n)
{
    if (buffer == nullptr || n <= 0 || !onLine || lineGone)
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
        return 0;
    line->NearPurge();
    return 1;
}

int ChannelPort::InputWaiting()
{
    return onLine ? line->NearWaiting() : 0;
}

bool ChannelPort::IsOpen() const
{
    return onLine && !lineGone;
}

bool ChannelPort::Gone() const
{
    return onLine && lineGone;
}
