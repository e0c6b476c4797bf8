#pragma once
// SIGINT and SIGTERM, while the object lives, set a flag that a long command looks at
// between two exchanges; the previous handlers come back when it ends.

#include "cli/ScopedSignal.h"

#include <atomic>

class StopSignals {
public:
    StopSignals();
    // Set once a stop signal came since the newest StopSignals was made.
    static const std::atomic<bool>& Flag();
    static bool Requested() { return Flag(); }

private:
    ScopedSignal onInt;
    ScopedSignal onTerm;
};
