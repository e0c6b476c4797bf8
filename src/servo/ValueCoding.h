#pragma once
// A typed value for one memory-table item: its range check and its coding for the wire.

#include "catalogue/ModelTypes.h"

#include <cstdint>
#include <string>

struct WriteRequest {
    // Whether the value is refused, as below or above `limit`; nothing is written then.
    enum class Refused { No, Below, Above } refused = Refused::No;
    int limit = 0;
    // servoctl's and the Python module's words for a refusal: "%s不能小于%d" or
    // "%s不能大于%d", filled in.
    std::string refusal;
    int address = 0;
    int size = 1;        // 1 writes a byte, any other size a word
    uint16_t value = 0;  // the coded value
    bool eprom = false;  // behind the lock flag
};

// Checks `value` against the item's minimum and maximum ("-1" for none) and codes it: values
// of 0 and more modulo 65536, negative ones in sign and magnitude with the item's sign bit.
// A negative value for an item without a sign bit has no coding and is refused as below 0.
WriteRequest PrepareWrite(const MemoryItem& item, int value);

// "%s不能小于%d" and "%s不能大于%d" with their blanks filled.
std::string NotBelowMessage(const std::string& name, int limit);
std::string NotAboveMessage(const std::string& name, int limit);
