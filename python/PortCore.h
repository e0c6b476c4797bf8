#pragma once
// What a Port and its Servo objects share: the bus owner over the open port, the catalogue,
// and the time-out rule.

#include "bus/ServoBus.h"
#include "catalogue/ModelCatalogue.h"
#include "servo/AutoTimeout.h"
#include "servo/Identify.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace servobus {

class PortCore {
public:
    explicit PortCore(const std::string& catalogueFile);

    // Runs on the bus's thread at the start of every job: puts the port's time-out in force,
    // or with "auto" the one for `exchange` at the port's present rate.
    void Prepare(BusAccess& access, Exchange exchange) const;
    // The time-out in force, for messages.
    int TimeoutMs() { return bus->Facts().TimeoutMs(); }

    std::unique_ptr<ServoBus> bus;
    ModelCatalogue catalogue;
    std::string name;
    std::atomic<bool> autoTimeout{false};
    std::atomic<int> timeoutMs{100};
};

}  // namespace servobus
