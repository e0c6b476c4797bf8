#pragma once
// The scan of the bus: one identification read per ID, at the port's present rate. A servo
// is listed only for a whole reply of the ID probed; a late answer to an earlier probe, a
// damaged one or none lists nobody. The window's search, servoctl scan and the Python
// module's scan follow it.

#include "servo/Identify.h"

#include <functional>

struct ScanReports {
    // Asked before each probe: false ends the scan.
    std::function<bool(int id)> probing;
    std::function<void(int id, const Identity& found)> found;
};

// Probes IDs first..last in turn; it also ends when the port is gone (no further ID can
// answer).
void ScanBus(ZNS& bus, ModelCatalogue& catalogue, int first, int last, const ScanReports& reports);
