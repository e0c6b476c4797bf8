#include "PortCore.h"

#include "Waiting.h"

namespace servobus {

PortCore::PortCore(const std::string& catalogueFile) : catalogue(catalogueFile)
{
    const SignalsToMainThread signals;
    bus = std::make_unique<ServoBus>();
}

void PortCore::Prepare(BusAccess& access, Exchange exchange) const
{
    Port& comm = access.port;
    int ms = timeoutMs;
    if (autoTimeout)
        ms = AutoTimeoutMs(exchange, comm.BaudRate(), LinkDelayMs(comm.Timing()));
    comm.SetTimeoutMs(ms);
    comm.SetTimeouts(ms);
}

}  // namespace servobus
