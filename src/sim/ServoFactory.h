#pragma once
// Builds simulated servos from the model catalogue: a family's factory memory is its memory
// table's initial values, found by the family's model name.

#include "catalogue/ModelCatalogue.h"
#include "sim/SimServo.h"

#include <string>
#include <utility>
#include <vector>

// What the simulation needs to make one servo on the bus.
struct ServoSpec {
    uint8_t id = 1;
    std::string model;
    int baudCode = -1;     // -1 keeps the family's factory code
    int statusLevel = -1;  // -1 keeps the family's factory level
    // Bytes forced into the servo's memory (and factory memory), such as an identification
    // the catalogue doesn't know.
    std::vector<std::pair<uint8_t, uint8_t>> overrides;
};

// The family whose name is `name`; false with a message when the catalogue has none.
bool FindServoModel(ModelCatalogue& catalogue, const std::string& name, ServoModel& model,
                    std::string& error);

// The model names the catalogue's memory tables lead to, for messages.
std::vector<std::string> ListServoModels(ModelCatalogue& catalogue);

// The factory memory a memory table describes, 16-bit values in the given byte order.
ServoMemory FactoryMemory(const MemoryTable& items, int rows, bool highByteFirst);
