#pragma once
// What the debug page drives and polls the selected servo with: how its commands are coded
// and its model's debug row, in one object that the poll and the commands both read.

#include "servo/Feedback.h"

struct DebugTarget {
    ServoProfile profile;
    DebugProfile debug = kDefaultDebugProfile;
};

// The target for a newly selected servo with `profile`: with its model's debug `row`, those;
// without one, the previous debug row and position address stay, and only the byte order and
// status level are the new servo's.
inline DebugTarget Retarget(const DebugTarget& previous, const ServoProfile& profile,
                            const DebugProfile* row)
{
    if (row)
        return {profile, *row};
    DebugTarget next = previous;
    next.profile.byteOrder = profile.byteOrder;
    next.profile.statusLevel = profile.statusLevel;
    return next;
}

// The torque switch's memory address: the one the model's debug row gives (its position block
// starts one above it).
inline uint8_t TorqueSwitchAddress(const DebugTarget& target)
{
    return target.debug.torqueAddress;
}
