#include "cli/PortListing.h"

#include <ostream>

namespace {

const std::string& OrDash(const std::string& text)
{
    static const std::string dash = "-";
    return text.empty() ? dash : text;
}

}  // namespace

void PrintPorts(std::ostream& out, const SystemRoots& roots)
{
    for (const PortInfo& port : DescribePorts(roots)) {
        out << port.device << "\t" << OrDash(port.byIdLink) << "\t" << OrDash(port.driver) << "\t"
            << (port.latencyMs >= 0 ? std::to_string(port.latencyMs) : "-") << "\t"
            << OrDash(port.product) << "\n";
    }
}
