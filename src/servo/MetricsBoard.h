#pragma once
// What a window shows of its servos, for a metrics server on other threads: the port's name
// and the last feedback of each servo watched, replaced whole under a lock held only for the
// copy. The server renders from a copy and the link statistics' own copy, never waiting for
// the bus.

#include "bus/LinkStats.h"
#include "servo/MetricsText.h"

#include <mutex>
#include <string>
#include <vector>

class MetricsBoard {
public:
    void SetPort(const std::string& name);
    // The servos watched (their `link` is filled in when rendered).
    void SetServos(std::vector<MetricsServo> servos);
    // /metrics: the servos watched, and every other ID the bus exchanged with, by ID.
    std::string Render(const LinkStats& link) const;

private:
    mutable std::mutex mutex;
    std::string port;
    std::vector<MetricsServo> servos;
};
