#pragma once
// servoctl scan: one read of the identification bytes per ID, at one rate or at all eight.

#include "catalogue/ModelTypes.h"
#include "protocol/ZNS.h"

class Session;

// Reads the 9 identification bytes of `id`. True only for a whole reply that carries `id`:
// with short time-outs a late answer to the previous probe must not pass for this one's.
bool ProbeServo(ZNS& bus, uint8_t id, ModelKey& key);

struct ScanOptions {
    int from = 0;
    int to = 253;
    // Each rate of the baud list in turn; lines then end in the rate.
    bool allRates = false;
    // Time-out recomputed for each rate (servoctl -t auto).
    bool autoTimeout = false;
};

// Prints "ID\tMODEL" (or "ID\tMODEL\tRATE") for each servo found, in the order found.
int RunScan(Session& s, const ScanOptions& options);
