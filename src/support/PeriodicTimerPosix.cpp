#include "support/PeriodicTimer.h"

// POSIX timed waits already wake within about a millisecond: nothing is asked for.
TimerResolutionHold::TimerResolutionHold()
{
    granted = false;
}

TimerResolutionHold::~TimerResolutionHold() = default;

int TimerResolutionHold::Granted()
{
    return 0;
}
