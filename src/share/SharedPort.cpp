#include "share/SharedPort.h"

#include "protocol/ZNS.h"
#include "share/ShareLink.h"

namespace {

constexpr int kWelcomeWaitMs = 2000;

// The reply a packet waits for when the protocol did not say: a read's reply, nothing for a
// broadcast or a packet that is never answered, else a status packet.
int ReplyOf(const std::vector<uint8_t>& p)
{
    const uint8_t id = p[2], instruction = p[4];
    if (id == kBroadcastId || instruction == instr::kSyncWrite || instruction == instr::kAction ||
        instruction == instr::kUpgrade)
        return 0;
    if (instruction == instr::kRead && p.size() >= 8)
        return p[6] + kStatusPacketSize;
    return kStatusPacketSize;
}

}  // namespace

SharedPort::SharedPort() = default;

SharedPort::~SharedPort()
{
    Close();
}

int SharedPort::Open(const std::string& name)
{
    Close();
    openError = {};
    auto s = share::Connect(name);
    if (!s) {
        openError = {OpenError::NoSuchDevice, {}};
        return 0;
    }
    share::FrameLink link(*s);
    share::Frame f;
    if (!link.Send(share::Encode(share::Hello{share::ProcessId(), share::ProgramName()})) ||
        link.Read(f, kWelcomeWaitMs) != share::FrameLink::Got::Frame) {
        openError = {OpenError::Busy, "the program that holds it did not answer"};
        return 0;
    }
    const auto welcome = share::DecodeWelcome(f);
    if (!welcome) {
        openError = {OpenError::Busy, "the program that holds it did not answer"};
        return 0;
    }
    {
        std::lock_guard lock(ownerMutex);
        owner = {welcome->program, welcome->pid};
    }
    rate = welcome->rate;
    stream = std::move(s);
    frames = std::make_unique<share::FrameLink>(*stream);
    opened = true;
    gone = false;
    rateRefused = false;
    inForce = timeoutMs;
    holds = 0;
    return 1;
}

int SharedPort::Close()
{
    opened = false;
    frames.reset();
    stream.reset();
    reply.clear();
    replyAt = 0;
    holds = 0;
    gone = false;
    std::lock_guard lock(ownerMutex);
    owner = {};
    return 1;
}

void SharedPort::Lose()
{
    gone = true;
    reply.clear();
    replyAt = 0;
    if (stream)
        stream->Shutdown();
}

int SharedPort::SetBaudRate(int asked)
{
    if (!opened)
        return asked;
    reply.clear();
    replyAt = 0;
    inForce = timeoutMs;
    rateRefused = asked != rate.load();
    return rate.load();
}

void SharedPort::SetTimeoutMs(int ms)
{
    timeoutMs = ms;
    inForce = ms;
}

int SharedPort::OverrideTimeout(int ms)
{
    if (!opened)
        return 0;
    inForce = ms;
    return 1;
}

int SharedPort::Write(const uint8_t* buffer, int n)
{
    const int replySize = nextReply;
    nextReply = -1;
    if (!opened || gone || n <= 0 || !share::IsWholePacket(buffer, static_cast<size_t>(n)))
        return 0;
    std::vector<uint8_t> packet(buffer, buffer + n);
    // The firmware loader is the owner's to enter.
    if (packet[4] == instr::kUpgrade)
        return 0;
    share::ExchangeRequest request{inForce, replySize >= 0 ? replySize : ReplyOf(packet), std::move(packet)};
    reply.clear();
    replyAt = 0;
    share::Frame f;
    if (!frames->Send(share::Encode(request))) {
        Lose();
        return 0;
    }
    const int wait = (inForce > 0 ? inForce : kUnboundedTimeoutCapMs) * 3 + kOwnerWaitMs;
    if (frames->Read(f, wait) != share::FrameLink::Got::Frame) {
        Lose();
        return 0;
    }
    const auto result = share::DecodeResult(f);
    if (!result) {
        Lose();
        return 0;
    }
    rate = result->rate;
    if (result->outcome == Outcome::PortGone || result->outcome == Outcome::PortClosed) {
        Lose();
        return 0;
    }
    if (result->outcome == Outcome::WriteFailed)
        return 0;
    reply = result->reply;
    return n;
}

int SharedPort::Read(uint8_t* buffer, int n)
{
    if (!opened || buffer == nullptr || n <= 0)
        return 0;
    const size_t take = std::min(static_cast<size_t>(n), reply.size() - replyAt);
    std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(replyAt), take, buffer);
    replyAt += take;
    return static_cast<int>(take);
}

int SharedPort::PurgeInput()
{
    reply.clear();
    replyAt = 0;
    return opened ? 1 : 0;
}

ShareOwner SharedPort::SharedBy() const
{
    std::lock_guard lock(ownerMutex);
    return owner;
}

void SharedPort::Hold(bool hold)
{
    if (!opened || gone)
        return;
    if (hold ? holds++ > 0 : (holds == 0 || --holds > 0))
        return;
    if (!frames->Send(share::EncodeEmpty(hold ? share::FrameType::Hold : share::FrameType::Release)))
        Lose();
}
