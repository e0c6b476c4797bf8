#pragma once
// Opening the port at a rate, as the window, servoctl and the Python module open it.

#include "bus/ServoBus.h"

#include <string>

struct PortOpening {
    bool opened = false;
    OpenFailure failure;  // why it did not open
    int running = 0;      // the rate the driver runs at
    bool refused = false;  // the driver kept another rate
};

// Inside a bus job: opens `name` (the traffic record's times start there), applies the
// port's own rate and then `rate`.
PortOpening OpenAtRate(BusAccess& access, const std::string& name, int rate);

// Why a rate was not taken, in the words of servoctl and the Python module: a raw TCP port
// keeps its server's rate; any other port names the rate its driver runs at.
std::string RefusedRateText(const PortFacts& port, const std::string& name, int asked);
