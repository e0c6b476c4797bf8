#pragma once
// The words servoctl and the Python module give the core's facts, one table each: why a port
// did not open, why a rate was not taken, the name of a fault bit. The window has its own,
// translated (widgets/PortWords, widgets/ServoWords).

#include "serial/OpenError.h"
#include "servo/Faults.h"
#include "servo/Feedback.h"
#include "servo/OpenAtRate.h"

#include <string>

// What an attached client may not do on the owner's bus, in the owner's words:
// "the bus is shared at 115200 by servo-debugger (pid 4711); close it there to change the
// rate" (`what`: "change the rate", "flash firmware").
std::string SharedBusText(const ShareOwner& owner, int rate, const std::string& what);

// The reason alone ("no such device", ...); `systemText` stands for OpenError::Other.
std::string OpenErrorText(OpenError reason, const std::string& systemText = {});
inline std::string OpenErrorText(const OpenFailure& failure)
{
    return OpenErrorText(failure.reason, failure.systemText);
}

// A raw TCP port keeps its server's rate; any other port names the rate its driver runs at.
std::string RefusedRateText(const std::string& name, const RateRefusal& refusal);
// The same for the rate `port` was just asked for.
inline std::string RefusedRateText(const PortFacts& port, const std::string& name, int asked)
{
    return RefusedRateText(name, RefusalOf(port, asked));
}

// The adapter behind `name` waits `latencyMs` before passing on a reply (SlowAdapter): the
// figure, and how to lower it on this system. The tool itself leaves the setting as it is.
std::string SlowAdapterText(const std::string& name, int latencyMs);

// "过压/欠压", "过热", "过流", "过载", "传感器出错".
const char* FaultName(Fault fault);
// The faults set in `status` on one line, separated by spaces; "舵机正常" when none is.
std::string StatusText(uint8_t status);
// The same, one fault a line.
std::string FaultLines(uint8_t status);

// What the feedback fields show, and the values they come from (for the recording).
struct FeedbackTexts {
    std::string position, speed, load, voltage, temperature, moving, status, target, current;
    Feedback values;
};
FeedbackTexts FormatFeedback(const Feedback& f);

// What was found on the bus: "the adapter echoes what is sent; the echo is skipped", and
// "ID 3: two servos may answer to this ID".
std::string EchoFoundText();
std::string DoubledIdText(int id);
