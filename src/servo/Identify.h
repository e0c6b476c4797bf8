#pragma once
// Identifying a servo: its 9 identification bytes, and what the catalogue makes of them
// (how its commands are coded, its debug row, its model name). The window's search and
// servo list, servoctl and the Python module all identify a servo this way.

#include "catalogue/ModelCatalogue.h"
#include "protocol/ZNS.h"
#include "servo/Feedback.h"

#include <string>

inline constexpr uint8_t kIdentifySize = 9;

struct Identity {
    ModelKey key{};
    bool read = false;  // key holds what the servo answered
    ServoProfile profile;
    DebugProfile debug = kDefaultDebugProfile;
    std::string model;
};

// Byte order, status level and position address given by the user; negative: not given. A
// position address given moves the torque switch to the address below it.
struct ProfileOptions {
    long long byteOrder = -1;
    long long statusLevel = -1;
    long long positionAddress = -1;
};

// What the catalogue makes of identification bytes.
Identity IdentityOf(ModelCatalogue& catalogue, const ModelKey& key);

// Reads the identification bytes of `id` unless the options give byte order and status
// level (or the ID is the broadcast ID, which nobody answers) and `alwaysRead` is false,
// then applies the options. The reply of the read, or an answered one when none was needed.
// A reply that is late, damaged or of another ID identifies nobody.
Reply IdentifyServo(ZNS& bus, ModelCatalogue& catalogue, uint8_t id,
                    const ProfileOptions& options, Identity& identity, bool alwaysRead = false);
