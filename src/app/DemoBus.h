#pragma once
// Demo mode: a virtual bus in this process with three servos of three model families at
// 115200 baud, so the window can be tried without hardware.

#include "sim/VirtualBus.h"

#include <memory>
#include <string>

class DemoBus {
public:
    // Builds the servos from "setup.log" in the working directory and starts the bus; false
    // with a message when that can't be done.
    bool Start(std::string& error);
    std::string DevicePath() const { return bus ? bus->DevicePath() : std::string(); }

private:
    ModelCatalogue catalogue{"setup.log"};
    std::unique_ptr<VirtualBus> bus;
};
