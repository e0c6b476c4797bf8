#include "metrics/MetricsAddress.h"

bool ParseMetricsAddress(const std::string& text, std::string& address, int& port)
{
    const auto colon = text.rfind(':');
    address = colon == std::string::npos || colon == 0 ? "127.0.0.1" : text.substr(0, colon);
    const std::string number = colon == std::string::npos ? text : text.substr(colon + 1);
    if (number.empty() || number.size() > 5 || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(number);
    if (port < 1 || port > 65535)
        return false;
    // A name or an IPv4 address; nothing that could split a URL or a header.
    return address.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") ==
           std::string::npos;
}
