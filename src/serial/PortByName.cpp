#include "serial/PortByName.h"

#include "serial/NetworkPort.h"

PortByName::PortByName(std::unique_ptr<Port> l) : local(std::move(l)), active(local.get()) {}

PortByName::~PortByName() = default;

int PortByName::Open(const std::string& name)
{
    Port& before = Active();
    before.Close();
    Port* next = local.get();
    if (IsNetworkPortName(name)) {
        if (!network)
            network = MakeNetworkPort();
        next = network.get();
    }
    if (next != &before) {
        next->SetTimeoutMs(before.TimeoutMs());
        active = next;
    }
    return next->Open(name);
}
