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
// port's own rate and then `rate`. A name another program shares attaches to its bus unless
// `exclusive`; there only the owner's rate is taken.
PortOpening OpenAtRate(BusAccess& access, const std::string& name, int rate,
                       bool exclusive = false);

// A rate the port did not take: the rate asked for, the one it runs at, and who sets its rate.
struct RateRefusal {
    int asked = 0;
    int running = 0;
    RateControl control = RateControl::Device;
    ShareOwner owner;  // who holds the rate of a shared bus
};
// What `port` did with `asked`, read right after the rate change that asked for it.
RateRefusal RefusalOf(const PortFacts& port, int asked);
