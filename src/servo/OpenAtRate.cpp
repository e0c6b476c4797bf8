#include "servo/OpenAtRate.h"

#include "bus/TrafficLog.h"

PortOpening OpenAtRate(Port& port, TrafficLog& traffic, const std::string& name, int rate)
{
    PortOpening result;
    result.opened = port.Open(name) != 0;
    if (!result.opened) {
        result.failure = port.LastOpenError();
        return result;
    }
    traffic.PortOpened();
    port.SetBaudRate(port.BaudRate());
    port.SetBaudRate(rate);
    result.running = port.BaudRate();
    result.refused = port.RateRefused();
    return result;
}
