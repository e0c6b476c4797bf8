#include "cli/CtlCommand.h"

#include "cli/NumberArg.h"

long long Checker::Get(const std::string& text, const std::string& what, long long low,
                       long long high)
{
    const auto v = ParseNumberArg(text, low, high);
    if (!v && error.empty())
        error = what + " must be " + std::to_string(low) + ".." + std::to_string(high) +
                ", not \"" + text + "\"";
    return v.value_or(0);
}

void Checker::Fail(const std::string& message)
{
    if (error.empty())
        error = message;
}

int Session::Open(const std::string& port, int rate, int timeoutMs)
{
    comm.timeoutMs = timeoutMs;
    if (!comm.Open(port)) {
        err << "servoctl: cannot open " << port << ": " << comm.LastOpenError().text << "\n";
        return kCtlBusFailed;
    }
    bus.Traffic().PortOpened();  // --trace's times count from here
    comm.SetBaudRate(rate);
    if (comm.RateRefused()) {
        err << "servoctl: " << port << ": the driver refused " << rate << " baud (it runs at "
            << comm.baudRate << ")\n";
        return kCtlBusFailed;
    }
    return kCtlDone;
}

void Session::Trace()
{
    bus.Traffic().SetKeep(false);
    bus.Traffic().SetEcho([this](const TrafficRecord& r) { err << TrafficLine(r) << '\n'; });
    bus.SetTracing(true);
}

int Session::Identify(uint8_t id, long long byteOrder, long long statusLevel,
                      long long positionAddress)
{
    profile = ServoProfile{};
    if (byteOrder < 0 || statusLevel < 0) {
        if (id == kBroadcastId) {
            // Nobody answers the broadcast ID: the options or the defaults hold.
        } else {
            const Reply r = servo.ReadMemory(id, 0, key.data(), 9);
            if (!r)
                return Fail(id, r, "the identification read");
            identified = true;
            profile = catalogue.ProfileOf(key);
        }
    }
    if (byteOrder >= 0)
        profile.byteOrder = static_cast<uint8_t>(byteOrder);
    if (statusLevel >= 0)
        profile.statusLevel = static_cast<uint8_t>(statusLevel);
    if (positionAddress >= 0)
        profile.positionAddress = static_cast<uint8_t>(positionAddress);
    return kCtlDone;
}

int Session::Fail(int id, const std::string& what)
{
    err << "servoctl: servo " << id << ": " << what << "\n";
    return kCtlBusFailed;
}

int Session::Fail(int id, const Reply& reply, const std::string& what)
{
    const std::string reason = ReplyText(reply, comm.timeoutMs);
    return Fail(id, what.empty() ? reason : reason + " to " + what);
}

void Session::NoteError(int id, const Reply& reply)
{
    if (reply.ok() && reply.error != 0)
        err << "servoctl: servo " << id << ": error byte 0x" << std::hex << std::uppercase
            << int(reply.error) << std::dec << std::nouppercase << "\n";
}
