#include "serial/PortByName.h"

#include "serial/NetworkPort.h"

PortByName::PortByName(std::unique_ptr<Port> d, std::unique_ptr<ChannelPort> l)
    : device(std::move(d)), line(std::move(l)), active(device.get())
{
}

PortByName::~PortByName() = default;

int PortByName::Open(const std::string& name)
{
    Port& before = Active();
    before.Close();
    Port* next = device.get();
    if (line && name == line->LineName()) {
        next = line.get();
    } else if (IsNetworkPortName(name)) {
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
