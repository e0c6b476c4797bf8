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
    int ms = timeoutMs;
    if (autoTimeout) {
        const PortFacts port = access.Facts();
        ms = AutoTimeoutMs(exchange, port.Rate(), port.Timing());
    }
    access.SetTimeoutMs(ms);
}

}  // namespace servobus
