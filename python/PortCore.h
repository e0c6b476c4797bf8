#pragma once
// What a Port and its Servo objects share: the bus owner over the open port, the catalogue,
// the time-out rule, and how a servo is identified before a command (as servoctl and a click
// in the window's servo list do).

#include "bus/ServoBus.h"
#include "catalogue/ModelCatalogue.h"
#include "cli/AutoTimeout.h"

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
    void Prepare(BusAccess& bus, Exchange exchange) const;
    // The time-out in force, for messages.
    int TimeoutMs() { return bus->Port().timeoutMs; }

    std::unique_ptr<ServoBus> bus;
    ModelCatalogue catalogue;
    std::string name;
    std::atomic<bool> autoTimeout{false};
    std::atomic<int> timeoutMs{100};
};

// What a servo's identification bytes told: how its commands are coded, its debug settings
// and its model name.
struct Identity {
    ModelKey key{};
    bool read = false;  // key holds what the servo answered
    ServoProfile profile;
    DebugProfile debug{};
    std::string model;
};

// The profile options a servo object was made with; negative: not given.
struct ProfileOptions {
    long long byteOrder = -1;
    long long statusLevel = -1;
    long long positionAddress = -1;
};

// Inside a job: reads the 9 identification bytes of `id` unless the options give byte order
// and status level (or the ID is the broadcast ID) and `alwaysRead` is false, then applies
// the options. The reply of the read, or an answered one when none was needed.
Reply IdentifyOnBus(ZNS& protocol, ModelCatalogue& catalogue, uint8_t id,
                    const ProfileOptions& options, Identity& identity, bool alwaysRead = false);

}  // namespace servobus
