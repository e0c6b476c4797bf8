// The list of serial ports on Linux, from the kernel's tty class in sysfs.
#include "serial/PortList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// "ttyUSB10" sorts after "ttyUSB9": the prefix alphabetically, then the trailing number.
bool NaturalLess(const std::string& a, const std::string& b)
{
    auto split = [](const std::string& s) {
        size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9')
            --i;
        const std::string_view digits(s.data() + i, s.size() - i);
        unsigned long long number = 0;
        for (char c : digits.substr(0, 18))
            number = number * 10 + static_cast<unsigned>(c - '0');
        return std::pair{std::string_view(s.data(), i), std::pair{digits.size(), number}};
    };
    const auto [pa, na] = split(a);
    const auto [pb, nb] = split(b);
    if (pa != pb)
        return pa < pb;
    if (na != nb)
        return na < nb;
    return a < b;
}

// Serial-core ports report their UART type; type 0 is a ttyS entry with no UART behind it.
bool IsPhantomUart(const fs::path& entry)
{
    std::ifstream type(entry / "type");
    int value = -1;
    return type >> value && value == 0;
}

}  // namespace

bool ListSerialPorts(const std::string& sysClassTty, const std::string& devDir,
                     std::vector<std::string>& names)
{
    std::error_code ec;
    fs::directory_iterator it(sysClassTty, ec);
    if (ec)
        return false;
    std::vector<std::string> found;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        // Virtual consoles and pseudo-terminals have no device behind them.
        if (!fs::exists(entry / "device", ec) || IsPhantomUart(entry))
            continue;
        if (!fs::exists(fs::path(devDir) / name, ec))
            continue;
        found.push_back(name);
    }
    std::sort(found.begin(), found.end(), NaturalLess);
    names.clear();
    for (const auto& name : found)
        names.push_back((fs::path(devDir) / name).string());
    return true;
}

int PortList::EnumeratePorts()
{
    std::vector<std::string> names;
    if (!ListSerialPorts(systemRoots.sys + "/class/tty", systemRoots.dev, names))
        return portCount;
    // The list has 256 places, as the window's always had; ports beyond them are not listed.
    if (names.size() > 256)
        names.resize(256);
    portNames = std::move(names);
    portCount = static_cast<int>(portNames.size());
    return portCount;
}
