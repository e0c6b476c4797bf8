#include "serial/NetworkPort.h"

namespace {

constexpr std::string_view kRfc2217 = "rfc2217://";
constexpr std::string_view kRfc2217Tls = "rfc2217s://";
constexpr std::string_view kTcp = "tcp://";

}  // namespace

bool IsNetworkPortName(const std::string& name)
{
    return name.starts_with(kRfc2217) || name.starts_with(kRfc2217Tls) || name.starts_with(kTcp);
}

bool ParseNetworkPortName(const std::string& name, NetworkAddress& address)
{
    address = {};
    std::string_view rest;
    if (name.starts_with(kRfc2217)) {
        address.rfc2217 = true;
        rest = std::string_view(name).substr(kRfc2217.size());
    } else if (name.starts_with(kRfc2217Tls)) {
        address.rfc2217 = address.tls = true;
        rest = std::string_view(name).substr(kRfc2217Tls.size());
    } else if (name.starts_with(kTcp)) {
        rest = std::string_view(name).substr(kTcp.size());
    } else {
        return false;
    }
    // HOST:PORT, where an IPv6 host stands in brackets: [::1]:2000.
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos)
        return false;
    std::string_view host = rest.substr(0, colon);
    const std::string_view port = rest.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || port.empty() || port.find_first_not_of("0123456789") != std::string_view::npos
        || port.size() > 5 || std::stoi(std::string(port)) > 65535)
        return false;
    // The host goes into a gensio address string, where commas and parentheses separate
    // its parts: a name holding them is no host name.
    if (host.find_first_of(",() \t") != std::string_view::npos)
        return false;
    address.host = host;
    address.port = port;
    return true;
}
