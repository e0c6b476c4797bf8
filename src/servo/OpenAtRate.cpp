#include "servo/OpenAtRate.h"

PortOpening OpenAtRate(BusAccess& access, const std::string& name, int rate)
{
    PortOpening result;
    const PortFacts port = access.Facts();
    result.opened = access.Open(name) != 0;
    if (!result.opened) {
        result.failure = port.LastOpenError();
        return result;
    }
    // A local device first gets its own rate back, as the window always did; a network
    // port's server would only answer one request more (and a raw TCP port takes the first
    // rate it is given as its server's).
    if (port.Rates() == RateControl::Device)
        access.SetRate(port.Rate());
    access.SetRate(rate);
    result.running = port.Rate();
    result.refused = port.RateRefused();
    return result;
}

std::string RefusedRateText(const PortFacts& port, const std::string& name, int asked)
{
    if (port.Rates() == RateControl::Fixed)
        return name + " is a raw TCP port: its server sets the rate, so " + std::to_string(asked)
               + " baud cannot be set (an rfc2217:// port can change it)";
    return name + ": the driver refused " + std::to_string(asked) + " baud (it runs at "
           + std::to_string(port.Rate()) + ")";
}
