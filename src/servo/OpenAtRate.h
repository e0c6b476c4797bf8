#pragma once
// Opening the port at a rate, as the window, servoctl and the Python module open it.

#include "bus/ServoBus.h"

#include <string>

// A rate the port did not take: the rate asked for, the one it runs at, and who sets its rate.
struct RateRefusal {
    int asked = 0;
    int running = 0;
    RateControl control = RateControl::Device;
    ShareOwner owner;  // who holds the rate of a shared bus
};

struct PortOpening {
    bool opened = false;
    OpenFailure failure;  // why it did not open
    int running = 0;      // the rate the driver runs at
    // The one verdict every face words: the port runs at another rate than the one asked
    // for (the driver kept another, a raw TCP port its server's, a shared bus its owner's).
    bool refused = false;
    RateRefusal refusal;  // what was asked and what runs, for the words
};

// Inside a bus job: opens `name` (the traffic record's times start there), applies the
// port's own rate and then `rate`. A name another program shares attaches to its bus unless
// `exclusive`; there only the owner's rate is taken, and without `rateGiven` (nobody asked
// for one) the owner's rate is no refusal.
PortOpening OpenAtRate(BusAccess& access, const std::string& name, int rate,
                       bool exclusive = false, bool rateGiven = true);
// What `port` did with `asked`, read right after the rate change that asked for it.
RateRefusal RefusalOf(const PortFacts& port, int asked);
