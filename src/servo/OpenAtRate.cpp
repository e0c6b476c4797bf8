#include "servo/OpenAtRate.h"

#include "bus/TrafficLog.h"

#include <algorithm>
#include <vector>

PortOpening OpenAtRate(Port& port, TrafficLog& traffic, const std::string& name, int rate)
{
    PortOpening result;
    result.opened = port.Open(name) != 0;
    if (!result.opened) {
        result.failure = port.LastOpenError();
        return result;
    }
    traffic.PortOpened();
    // What a network server sent before the first request answers nothing: it is recorded
    // as stray and dropped.
    const int waiting = port.Rates() != RateControl::Device ? port.InputWaiting() : 0;
    if (waiting > 0) {
        std::vector<uint8_t> stray(static_cast<size_t>(waiting));
        const int got = std::max(port.Read(stray.data(), waiting), 0);
        traffic.Packet(PacketView{PacketDirection::In, Verdict::Stray, Damage::None,
                                  LoaderStep::None, LoaderStep::None, 0, stray.data(), got});
    }
    // A local device first gets its own rate back, as the window always did; a network
    // port's server would only answer one request more (and a raw TCP port takes the first
    // rate it is given as its server's).
    if (port.Rates() == RateControl::Device)
        port.SetBaudRate(port.BaudRate());
    port.SetBaudRate(rate);
    result.running = port.BaudRate();
    result.refused = port.RateRefused();
    return result;
}

RateRefusal RefusalOf(const Port& port, int asked)
{
    return {asked, port.BaudRate(), port.Rates()};
}
