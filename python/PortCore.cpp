#include "PortCore.h"

#include "Waiting.h"
#include "pages/debug/Feedback.h"

namespace servobus {

PortCore::PortCore(const std::string& catalogueFile) : catalogue(catalogueFile)
{
    const SignalsToMainThread signals;
    bus = std::make_unique<ServoBus>();
}

void PortCore::Prepare(BusAccess& access, Exchange exchange) const
{
    CZNComm& comm = access.port;
    int ms = timeoutMs;
    if (autoTimeout)
        ms = AutoTimeoutMs(exchange, comm.baudRate, AdapterLatencyMs(comm.latencyMs, comm.usbDevice));
    comm.timeoutMs = ms;
    comm.SetTimeouts(ms);
}

Reply IdentifyOnBus(ZNS& protocol, ModelCatalogue& catalogue, uint8_t id,
                    const ProfileOptions& options, Identity& identity, bool alwaysRead)
{
    Reply r = Reply::Answered();
    identity = Identity{};
    identity.debug = kDefaultDebugProfile;
    if ((alwaysRead || options.byteOrder < 0 || options.statusLevel < 0) && id != kBroadcastId) {
        r = protocol.ReadMemory(id, 0, identity.key.data(), 9);
        if (!r)
            return r;
        identity.read = true;
        identity.profile = catalogue.ProfileOf(identity.key);
        identity.model = catalogue.LookupModelName(identity.key);
        DebugProfile found{};
        if (catalogue.LookupDebugProfile(identity.key, found))
            identity.debug = found;
    }
    if (options.byteOrder >= 0)
        identity.profile.byteOrder = static_cast<uint8_t>(options.byteOrder);
    if (options.statusLevel >= 0)
        identity.profile.statusLevel = static_cast<uint8_t>(options.statusLevel);
    if (options.positionAddress >= 0)
        identity.profile.positionAddress = static_cast<uint8_t>(options.positionAddress);
    return r;
}

}  // namespace servobus
