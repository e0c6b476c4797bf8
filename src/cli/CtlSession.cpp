#include "cli/CtlCommand.h"

#include "cli/NumberArg.h"
#include "servo/AutoTimeout.h"
#include "words/ConsoleWords.h"
#include "servo/OpenAtRate.h"

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

int Session::Open(BusAccess& access, const std::string& port, int rate, int timeoutMs,
                  bool exclusive, bool rateGiven)
{
    portName = port;
    access.SetTimeoutMs(timeoutMs);
    const PortOpening opening = OpenAtRate(access, port, rate, exclusive, rateGiven);
    if (!opening.opened) {
        err << "servoctl: cannot open " << port << ": " << OpenErrorText(opening.failure) << "\n";
        return kCtlBusFailed;
    }
    const ShareOwner owner = access.Facts().SharedBy();
    if (owner)
        err << port << " is shared by " << owner.program << " (pid " << owner.pid << ")\n";
    if (opening.refused) {
        err << "servoctl: " << RefusedRateText(port, opening.refusal) << "\n";
        return kCtlBusFailed;
    }
    if (const PortTiming timing = access.Facts().Timing(); SlowAdapter(timing))
        err << "servoctl: " << SlowAdapterText(port, timing.latencyMs) << "\n";
    return kCtlDone;
}

void Session::Trace()
{
    bus.Traffic().SetKeep(false);
    bus.Traffic().SetEcho([this](const TrafficRecord& r) { err << TrafficLine(r) << '\n'; });
    bus.SetTracing(true);
}

int Session::Identify(uint8_t id, const ProfileOptions& options)
{
    const Reply r = IdentifyServo(access->protocol, catalogue, id, options, identity);
    if (!r)
        return Fail(id, r, "the identification read");
    return kCtlDone;
}

int Session::Fail(int id, const std::string& what)
{
    err << "servoctl: servo " << id << ": " << what << "\n";
    return kCtlBusFailed;
}

int Session::Fail(int id, const Reply& reply, const std::string& what)
{
    const std::string reason = ReplyText(reply, bus.Facts().TimeoutMs());
    return Fail(id, what.empty() ? reason : reason + " to " + what);
}

void Session::NoteError(int id, const Reply& reply)
{
    if (reply.ok() && reply.error != 0)
        err << "servoctl: servo " << id << ": error byte 0x" << std::hex << std::uppercase
            << int(reply.error) << std::dec << std::nouppercase << "\n";
}
