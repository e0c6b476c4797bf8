#include "cli/CtlCommand.h"

#include "cli/NumberArg.h"

namespace {
constexpr uint8_t kDefaultPositionAddress = 41;
}  // namespace

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
        err << "servoctl: cannot open " << port << "\n";
        return kCtlBusFailed;
    }
    comm.SetBaudRate(rate);
    return kCtlDone;
}

int Session::Identify(uint8_t id, long long byteOrder, long long statusLevel,
                      long long positionAddress)
{
    uint8_t position = kDefaultPositionAddress;
    if (byteOrder < 0 || statusLevel < 0) {
        if (id == kBroadcastId) {
            // Nobody answers the broadcast ID: the options or the defaults hold.
        } else {
            if (servo.ReadMemory(id, 0, key.data(), 9) != 9)
                return Fail(id, "no reply to the identification read");
            identified = true;
            servo.byteOrder = key[addr::kByteOrder];
            servo.statusLevel = key[addr::kStatusLevel];
            DebugProfile profile{};
            if (catalogue.LookupDebugProfile(key, profile))
                position = static_cast<uint8_t>(profile.torqueAddress + 1);
        }
    }
    if (byteOrder >= 0)
        servo.byteOrder = static_cast<uint8_t>(byteOrder);
    if (statusLevel >= 0)
        servo.statusLevel = static_cast<uint8_t>(statusLevel);
    servo.positionAddress =
        positionAddress >= 0 ? static_cast<uint8_t>(positionAddress) : position;
    return kCtlDone;
}

int Session::Fail(int id, const std::string& what)
{
    err << "servoctl: servo " << id << ": " << what << "\n";
    return kCtlBusFailed;
}
