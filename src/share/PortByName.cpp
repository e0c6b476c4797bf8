#include "share/PortByName.h"

#include "serial/NetworkPort.h"
#include "share/SharedPort.h"

PortByName::PortByName(std::unique_ptr<Port> d, std::unique_ptr<ChannelPort> l)
    : device(std::move(d)), line(std::move(l)), active(device.get())
{
}

PortByName::~PortByName() = default;

int PortByName::Open(const std::string& name)
{
    Port& before = Active();
    before.Close();
    if (!exclusive) {
        if (!shared)
            shared = std::make_unique<SharedPort>();
        shared->SetTimeoutMs(before.TimeoutMs());
        if (shared->Open(name)) {
            active = shared.get();
            return 1;
        }
    }
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
