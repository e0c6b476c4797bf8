#include "support/PeriodicTimer.h"

#include <windows.h>
#include <timeapi.h>

namespace {
std::atomic<int> grantedHolds{0};
}  // namespace

TimerResolutionHold::TimerResolutionHold() : granted(timeBeginPeriod(1) == TIMERR_NOERROR)
{
    if (granted)
        ++grantedHolds;
}

TimerResolutionHold::~TimerResolutionHold()
{
    if (!granted)
        return;
    timeEndPeriod(1);  // every granted request is handed back, once
    --grantedHolds;
}

int TimerResolutionHold::Granted()
{
    return grantedHolds.load();
}
