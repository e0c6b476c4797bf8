#pragma once
// What the Windows tests learn from the machine they run on: whether that is wine, and
// which COM ports the test run mapped (scripts/test-windows maps them onto pseudo-terminals:
// the two ends of a null-modem line and the virtual bus).

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace wine_host {

inline const char* kNoPortsReason =
    "no COM ports given (SERVO_TEST_NEAR_PORT, SERVO_TEST_FAR_PORT, SERVO_TEST_BUS_PORT; "
    "scripts/test-windows sets them)";

inline bool UnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

inline std::string Port(const char* variable)
{
    const char* value = std::getenv(variable);
    return value ? value : "";
}

// The near end of the null-modem line (the port under test), its far end (the test plays
// the other device there), and the virtual bus.
inline std::string NearPort() { return Port("SERVO_TEST_NEAR_PORT"); }
inline std::string FarPort() { return Port("SERVO_TEST_FAR_PORT"); }
inline std::string BusPort() { return Port("SERVO_TEST_BUS_PORT"); }

inline std::vector<std::string> MappedPorts()
{
    std::vector<std::string> ports;
    for (const auto& p : {NearPort(), FarPort(), BusPort()})
        if (!p.empty())
            ports.push_back(p);
    return ports;
}

}  // namespace wine_host
