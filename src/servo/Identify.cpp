#include "servo/Identify.h"

Identity IdentityOf(ModelCatalogue& catalogue, const ModelKey& key)
{
    Identity identity;
    identity.key = key;
    identity.read = true;
    identity.profile = catalogue.ProfileOf(key);
    identity.model = catalogue.LookupModelName(key);
    DebugProfile found{};
    if (catalogue.LookupDebugProfile(key, found))
        identity.debug = found;
    return identity;
}

Reply IdentifyServo(ZNS& bus, ModelCatalogue& catalogue, uint8_t id,
                    const ProfileOptions& options, Identity& identity, bool alwaysRead)
{
    Reply r = Reply::Answered();
    identity = Identity{};
    if ((alwaysRead || options.byteOrder < 0 || options.statusLevel < 0) && id != kBroadcastId) {
        ModelKey key{};
        r = bus.ReadMemory(id, 0, key.data(), kIdentifySize);
        if (!r)
            return r;
        identity = IdentityOf(catalogue, key);
    }
    if (options.byteOrder >= 0)
        identity.profile.byteOrder = static_cast<uint8_t>(options.byteOrder);
    if (options.statusLevel >= 0)
        identity.profile.statusLevel = static_cast<uint8_t>(options.statusLevel);
    if (options.positionAddress >= 0) {
        identity.profile.positionAddress = static_cast<uint8_t>(options.positionAddress);
        // A position block placed by hand takes the torque switch along, one below it, as a
        // debug row places them.
        identity.debug.torqueAddress = static_cast<uint8_t>(options.positionAddress - 1);
    }
    return r;
}
