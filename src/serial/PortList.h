#pragma once
// The system's serial devices, as the window's port box, servoctl ports and the Python module
// list them.

#include "serial/PortInfo.h"

#include <string>
#include <vector>

class PortList {
public:
    // Fills PortNames, returns their count (-1 until the first enumeration that could read
    // the system's list; a failed one changes nothing).
    int EnumeratePorts();
    const std::vector<std::string>& PortNames() const { return portNames; }
    int PortCount() const { return portCount; }
    // Where the list looks the system's devices up (tests lay out their own).
    void SetSystemRoots(const SystemRoots& roots) { systemRoots = roots; }

private:
    std::vector<std::string> portNames;
    int portCount = -1;
    SystemRoots systemRoots;
};

// The serial devices present on this system, in natural order ("ttyS2" before "ttyS10"), as
// full device paths. sysClassTty is the kernel's tty class folder, devDir the device folder;
// both are parameters so tests can lay out a tree of their own. Returns false when the
// tty class folder can't be read at all.
bool ListSerialPorts(const std::string& sysClassTty, const std::string& devDir,
                     std::vector<std::string>& names);
