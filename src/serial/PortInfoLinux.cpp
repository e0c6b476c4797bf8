// Port descriptions from sysfs: the tty class folder of a port leads to its device folder,
// whose driver link names the driver, whose USB ancestor holds the product text, and which
// holds the latency timer of adapters that have one.
#include "serial/PortInfo.h"
#include "serial/PortList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// How far above a port's device folder its USB device may sit (interface, then device).
constexpr int kMaxAncestors = 6;

// The first line of a small text file, with control characters (tabs among them) turned
// into spaces and the ends trimmed, so it fits a tab-separated line.
std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    if (line.size() > 256)
        line.resize(256);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    const auto first = line.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(' ') - first + 1);
}

std::string LinkName(const fs::path& link)
{
    std::error_code ec;
    const fs::path target = fs::canonical(link, ec);
    return ec ? std::string() : target.filename().string();
}

// The serial core puts a "serial-base" port device between the tty and the UART's own
// device on newer kernels; the driver that matters is the UART's.
std::string DriverOf(fs::path device)
{
    for (int i = 0; i < kMaxAncestors && LinkName(device / "subsystem") == "serial-base"; ++i)
        device = device.parent_path();
    return LinkName(device / "driver");
}

void DescribeUsb(const fs::path& device, const fs::path& sysRoot, PortInfo& info)
{
    std::error_code ec;
    fs::path folder = device;
    for (int i = 0; i < kMaxAncestors; ++i) {
        if (folder == sysRoot || !folder.has_relative_path())
            return;
        if (fs::exists(folder / "idVendor", ec)) {
            info.usb = true;
            info.product = FirstLine(folder / "product");
            return;
        }
        folder = folder.parent_path();
    }
}

std::string ByIdLinkOf(const fs::path& target, const SystemRoots& roots)
{
    std::error_code ec;
    std::vector<std::string> links;
    fs::directory_iterator it(fs::path(roots.dev) / "serial" / "by-id", ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code each;
        if (fs::canonical(it->path(), each) == target && !each)
            links.push_back(it->path().string());
    }
    std::sort(links.begin(), links.end());
    return links.empty() ? std::string() : links.front();
}

}  // namespace

int ReadLatencyTimer(const std::string& file)
{
    std::ifstream in(file);
    int ms = -1;
    if (!(in >> ms) || ms < 0)
        return -1;
    return ms;
}

bool WriteLatencyTimer(const std::string& file, int ms)
{
    std::ofstream out(file);
    out << ms << "\n";
    out.flush();
    return static_cast<bool>(out);
}

PortInfo DescribePort(const std::string& name, const SystemRoots& roots)
{
    PortInfo info;
    info.device = name;
    std::error_code ec;
    const fs::path node = fs::canonical(name, ec);
    if (ec)
        return info;
    info.byIdLink = ByIdLinkOf(node, roots);
    const fs::path sysRoot = fs::canonical(roots.sys, ec);
    if (ec)
        return info;
    const fs::path device = fs::canonical(sysRoot / "class" / "tty" / node.filename() / "device", ec);
    if (ec)
        return info;
    info.driver = DriverOf(device);
    DescribeUsb(device, sysRoot, info);
    if (fs::is_regular_file(device / "latency_timer", ec)) {
        info.latencyFile = (device / "latency_timer").string();
        info.latencyMs = ReadLatencyTimer(info.latencyFile);
    }
    return info;
}

std::vector<PortInfo> DescribePorts(const SystemRoots& roots)
{
    PortList list;
    list.SetSystemRoots(roots);
    list.EnumeratePorts();
    std::vector<PortInfo> ports;
    // The main window lists the last name first.
    for (auto it = list.PortNames().rbegin(); it != list.PortNames().rend(); ++it)
        ports.push_back(DescribePort(*it, roots));
    return ports;
}
