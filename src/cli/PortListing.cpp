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
        // Windows names a device by its friendly name and maker where Linux has a by-id link
        // and a driver, and knows the USB vendor and product by their numbers.
        const std::string& name = port.byIdLink.empty() ? port.friendlyName : port.byIdLink;
        const std::string& maker = port.driver.empty() ? port.manufacturer : port.driver;
        const std::string product =
            port.product.empty() && !port.usbId.empty() ? "USB " + port.usbId : port.product;
        out << port.device << "\t" << OrDash(name) << "\t" << OrDash(maker) << "\t"
            << (port.latencyMs >= 0 ? std::to_string(port.latencyMs) : "-") << "\t"
            << OrDash(product) << "\n";
    }
}
