#include "app/DemoBus.h"

// A pseudo-terminal: the demo bus is a device the window opens as it would an adapter.
std::unique_ptr<VirtualBus> DemoBus::MakeBus()
{
    return std::make_unique<VirtualBus>(catalogue);
}
