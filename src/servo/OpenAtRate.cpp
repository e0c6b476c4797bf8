#include "servo/OpenAtRate.h"

PortOpening OpenAtRate(BusAccess& access, const std::string& name, int rate, bool exclusive,
                       bool rateGiven)
{
    PortOpening result;
    const PortFacts port = access.Facts();
    result.opened = access.Open(name, exclusive) != 0;
    if (!result.opened) {
        result.failure = port.LastOpenError();
        return result;
    }
    // What a network server sent before the first request answers nothing: it is recorded
    // as stray and dropped.
    if (port.Rates() == RateControl::Server || port.Rates() == RateControl::Fixed)
        access.protocol.DropStray();
    // A local device first gets its own rate back, as the window always did; a network
    // port's server would only answer one request more (and a raw TCP port takes the first
    // rate it is given as its server's).
    if (port.Rates() == RateControl::Device)
        access.SetRate(port.Rate());
    access.SetRate(rate);
    result.running = port.Rate();
    result.refusal = RefusalOf(port, rate);
    result.refused = port.RateRefused() && (rateGiven || !port.SharedBy());
    return result;
}

RateRefusal RefusalOf(const PortFacts& port, int asked)
{
    return {asked, port.Rate(), port.Rates(), port.SharedBy()};
}
