#pragma once
// What the system tells about a serial port beyond its name: the stable link that names it,
// its driver, and for a USB adapter its latency timer and product text; on Windows the
// device's friendly name and maker.

#include <string>
#include <vector>

// Where the system describes its devices (sysfs) and keeps their nodes. Parameters so tests
// can lay out a tree of their own.
struct SystemRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

struct PortInfo {
    std::string device;    // the device node, as listed or as the name resolved
    std::string byIdLink;  // a link under serial/by-id that names it; empty when none
    std::string driver;    // empty when unknown
    std::string product;   // the USB device's product text; empty when none
    std::string latencyFile;  // the adapter's latency timer file; empty when it has none
    int latencyMs = -1;    // what that file holds; -1 when unknown
    bool usb = false;
    // What Windows keeps of the device (its ports class entry); empty elsewhere.
    std::string friendlyName;  // "USB Serial Port (COM7)"
    std::string manufacturer;  // the maker its driver names
    std::string usbId;         // USB vendor:product, "1a2b:3c4d"
};

// Describes the port a name resolves to (a device node or any link to one). A name the
// system doesn't describe gives a PortInfo with only `device` set.
PortInfo DescribePort(const std::string& name, const SystemRoots& roots);

// Every port of the port list, described, in the port list's order.
std::vector<PortInfo> DescribePorts(const SystemRoots& roots);

// The latency timer in whole milliseconds, or -1 when the file can't be read as one.
int ReadLatencyTimer(const std::string& file);
// Sets the latency timer; false when the file can't be written.
bool WriteLatencyTimer(const std::string& file, int ms);

// Asks the adapter on fd for low latency: the driver's low-latency flag and, where it has a
// latency timer, 1 ms. Failures are silent. Returns the latency the port reports after.
int RequestLowLatency(int fd, const PortInfo& port);
