#include "cli/StopSignals.h"

#include <csignal>

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void RequestStop(int)
{
    stopRequested = true;
}

// Cleared before the handlers go in, so that a signal from the first instant on counts.
int Cleared(int signal)
{
    stopRequested = false;
    return signal;
}

}  // namespace

StopSignals::StopSignals() : onInt(Cleared(SIGINT), RequestStop), onTerm(SIGTERM, RequestStop) {}

const std::atomic<bool>& StopSignals::Flag()
{
    return stopRequested;
}
