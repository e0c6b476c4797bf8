#pragma once
// The bus in the Prometheus text exposition format, for a lab's scraper: per servo its last
// feedback (gauges), its exchanges by outcome (a counter) and its latency (a histogram); per
// bus the share of the time the line is busy. Made from copies, on any thread.

#include "bus/LinkStats.h"
#include "servo/Feedback.h"

#include <string>
#include <vector>

struct MetricsServo {
    int id = 0;
    IdLinkStats link;
    bool fresh = false;  // `feedback` is from the last poll (none for a silent servo)
    Feedback feedback;
};

// `port` is the bus's port name (the label `port`); servos without a request and without
// feedback are left out.
std::string MetricsText(const std::string& port, const std::vector<MetricsServo>& servos,
                        const BusLinkStats& bus);

// The servos of a copy of the link statistics that saw a request, without feedback.
std::vector<MetricsServo> MetricsServos(const LinkSnapshot& snapshot);
