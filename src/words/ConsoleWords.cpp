#include "words/ConsoleWords.h"

#include "servo/Feedback.h"

std::string OpenErrorText(OpenError reason, const std::string& systemText)
{
    switch (reason) {
    case OpenError::None:
        return {};
    case OpenError::NoSuchDevice:
        return "no such device";
    case OpenError::PermissionDenied:
        return "permission denied (join the group dialout: sudo usermod -aG dialout $USER, "
               "then log in again)";
    case OpenError::Busy:
        return "held by another program";
    case OpenError::NotSerialDevice:
        return "not a serial device";
    case OpenError::Refused:
        return "connection refused";
    case OpenError::HostNotFound:
        return "host not found";
    case OpenError::ConnectTimeout:
        return "no answer from the server within 3 s";
    case OpenError::CertificateRefused:
        return "the server's certificate is not valid (" + systemText
               + "; SERVO_TLS_CA may name the authority that signed it)";
    case OpenError::NoRfc2217:
        return "the server does not offer RFC 2217 (COM-PORT-OPTION)";
    case OpenError::ServerBusy:
        return "the server's device is busy (another connection holds it)"
               + (systemText.empty() ? std::string() : "; the server said \"" + systemText + "\"");
    case OpenError::Other:
        break;
    }
    return systemText.empty() ? std::string("cannot open") : systemText;
}

std::string SlowAdapterText(const std::string& name, int latencyMs)
{
    return name + ": the adapter's latency timer is " + std::to_string(latencyMs) +
           " ms, which every exchange waits for; "
#ifdef _WIN32
           "lower it to 1 ms in Device Manager (the port's Properties, Port Settings, Advanced), "
           "or set LatencyTimer to 1 under the device's Device Parameters key in the registry "
           "with administrator rights";
#else
           "write 1 to the adapter's latency_timer in sysfs as root";
#endif
}

std::string SharedBusText(const ShareOwner& owner, int rate, const std::string& what)
{
    return "the bus is shared at " + std::to_string(rate) + " by " + owner.program + " (pid " +
           std::to_string(owner.pid) + "); close it there to " + what;
}

std::string RefusedRateText(const std::string& name, const RateRefusal& refusal)
{
    if (refusal.control == RateControl::Shared)
        return SharedBusText(refusal.owner, refusal.running, "change the rate");
    if (refusal.control == RateControl::Fixed)
        return name + " is a raw TCP port: its server sets the rate, so "
               + std::to_string(refusal.asked)
               + " baud cannot be set (an rfc2217:// port can change it)";
    return name + ": the driver refused " + std::to_string(refusal.asked) + " baud (it runs at "
           + std::to_string(refusal.running) + ")";
}

const char* FaultName(Fault fault)
{
    switch (fault) {
    case Fault::Voltage: return "过压/欠压";
    case Fault::Temperature: return "过热";
    case Fault::Current: return "过流";
    case Fault::Load: return "过载";
    case Fault::Sensor: return "传感器出错";
    }
    return "";
}

std::string StatusText(uint8_t status)
{
    const std::string faults = JoinFaults(status, std::string(" "), FaultName);
    return faults.empty() ? kStatusNormal : faults;
}

std::string FaultLines(uint8_t status)
{
    const std::string faults = JoinFaults(status, std::string("\n"), FaultName);
    return faults.empty() ? kStatusNormal : faults;
}

FeedbackTexts FormatFeedback(const Feedback& f)
{
    FeedbackTexts t;
    t.position = std::to_string(f.position);
    t.speed = std::to_string(f.speed);
    t.load = std::to_string(f.load);
    t.voltage = VoltageText(f.voltage);
    t.temperature = TemperatureText(f.temperature);
    t.moving = std::to_string(f.moving);
    t.status = StatusText(static_cast<uint8_t>(f.status));
    t.target = std::to_string(f.target);
    t.current = std::to_string(f.current);
    t.values = f;
    return t;
}

std::string EchoFoundText()
{
    return "the adapter echoes what is sent; the echo is skipped";
}

std::string DoubledIdText(int id)
{
    return "ID " + std::to_string(id) + ": two servos may answer to this ID";
}
