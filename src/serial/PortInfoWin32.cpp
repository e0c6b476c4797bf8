// Windows keeps no sysfs: a port is described by its name alone, and the adapters' latency
// is the driver's own setting (its properties dialog), which the tool leaves as it is.
#include "serial/PortInfo.h"
#include "serial/PortList.h"

PortInfo DescribePort(const std::string& name, const SystemRoots&)
{
    PortInfo info;
    info.device = name;
    return info;
}

std::vector<PortInfo> DescribePorts(const SystemRoots& roots)
{
    PortList list;
    list.EnumeratePorts();
    std::vector<PortInfo> ports;
    // The window's order: the last name listed first.
    for (auto name = list.PortNames().rbegin(); name != list.PortNames().rend(); ++name)
        ports.push_back(DescribePort(*name, roots));
    return ports;
}

int ReadLatencyTimer(const std::string&)
{
    return -1;
}

bool WriteLatencyTimer(const std::string&, int)
{
    return false;
}

int RequestLowLatency(int, const PortInfo&)
{
    return -1;
}
