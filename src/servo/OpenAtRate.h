#pragma once
// Opening the port at a rate, as the window, servoctl and the Python module open it.

#include "serial/Port.h"

#include <string>

class TrafficLog;

struct PortOpening {
    bool opened = false;
    OpenFailure failure;  // why it did not open
    int running = 0;      // the rate the driver runs at
    bool refused = false;  // the driver kept another rate
};

// Opens `name`, starts the traffic record's times there, applies the port's own rate and
// then `rate`.
PortOpening OpenAtRate(Port& port, TrafficLog& traffic, const std::string& name, int rate);

// A rate the port did not take: the rate asked for, the one it runs at, and who sets its rate.
struct RateRefusal {
    int asked = 0;
    int running = 0;
    RateControl control = RateControl::Device;
};
// What `port` did with `asked`, read right after the SetBaudRate that asked for it.
RateRefusal RefusalOf(const Port& port, int asked);
