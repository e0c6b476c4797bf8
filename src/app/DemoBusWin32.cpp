#include "app/DemoBus.h"

// No pseudo-terminals here: the demo bus is the far end of an in-process line.
std::unique_ptr<VirtualBus> DemoBus::MakeBus()
{
    channel = std::make_shared<ByteChannel>();
    return std::make_unique<VirtualBus>(catalogue, channel, kLineName);
}
