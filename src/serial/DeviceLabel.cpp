#include "serial/DeviceLabel.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The four hex digits after `tag` ("VID_"), lowercase; empty when they are not there.
std::string HexAfter(const std::string& upper, const std::string& tag)
{
    const size_t at = upper.find(tag);
    if (at == std::string::npos || upper.size() < at + tag.size() + 4)
        return {};
    std::string digits = upper.substr(at + tag.size(), 4);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return {};
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return digits;
}

}  // namespace

std::string UsbIdOf(const std::string& hardwareId)
{
    const std::string upper = Upper(hardwareId);
    const std::string vid = HexAfter(upper, "VID_");
    const std::string pid = HexAfter(upper, "PID_");
    return vid.empty() || pid.empty() ? std::string() : vid + ":" + pid;
}

std::string WithoutPortSuffix(const std::string& friendlyName, const std::string& portName)
{
    const std::string suffix = " (" + Upper(portName) + ")";
    const std::string upper = Upper(friendlyName);
    if (upper.size() > suffix.size() && upper.compare(upper.size() - suffix.size(), suffix.size(), suffix) == 0)
        return friendlyName.substr(0, friendlyName.size() - suffix.size());
    return friendlyName;
}

std::string DeviceLabel(const PortInfo& port)
{
    const std::string name = WithoutPortSuffix(port.friendlyName, port.device);
    if (name.empty() || port.manufacturer.empty())
        return name.empty() ? port.manufacturer : name;
    // Windows' own ports name their maker "(Standard port types)", brackets and all.
    if (port.manufacturer.front() == '(' && port.manufacturer.back() == ')')
        return name + " " + port.manufacturer;
    return name + " (" + port.manufacturer + ")";
}
