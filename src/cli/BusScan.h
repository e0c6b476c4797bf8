#pragma once
// servoctl scan: one read of the identification bytes per ID, at one rate or at all eight.

class Session;

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
