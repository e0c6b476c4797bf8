#include "pages/debug/PositionCommand.h"

#include <cstdlib>

int LimitTarget(int target)
{
    if (target > kTargetLimit)
        return kTargetLimit;
    if (target < -kTargetLimit)
        return -kTargetLimit;
    return target;
}

int EncodeSpeed(int speed)
{
    return speed < 0 ? (std::abs(speed) | 0x8000) : speed;
}

int EncodeTime(int time)
{
    return time < 0 ? (std::abs(time) | 0x400) : time;
}

std::vector<uint8_t> RangeIds(int firstId, int lastId)
{
    std::vector<uint8_t> ids;
    // Past 256 IDs the range only repeats itself.
    for (long long id = firstId; id <= lastId && ids.size() < 256; ++id)
        ids.push_back(static_cast<uint8_t>(id));
    return ids;
}

int IssuePositionCommand(ZNS& bus, WriteMode mode, int firstId, int lastId, int target,
                         int speed, int time, int acceleration)
{
    const auto first = static_cast<uint8_t>(firstId);
    switch (mode) {
    case WriteMode::Normal:
        return bus.WritePosition(first, target, acceleration, speed, time);
    case WriteMode::Sync: {
        const auto ids = RangeIds(firstId, lastId);
        if (ids.empty())
            return 0;
        return bus.SyncWritePosition(ids.data(), static_cast<int>(ids.size()), target,
                                     acceleration, speed, time);
    }
    case WriteMode::Registered: {
        int all = 1;
        for (uint8_t id : RangeIds(firstId, lastId))
            all &= bus.RegWritePosition(id, target, acceleration, speed, time);
        return all;
    }
    }
    return 0;
}

int SendTorqueSwitch(ZNS& bus, WriteMode mode, int firstId, int lastId, uint8_t address,
                     bool on)
{
    const uint8_t value = on ? 1 : 0;
    switch (mode) {
    case WriteMode::Normal:
        return bus.WriteByte(static_cast<uint8_t>(firstId), address, value);
    case WriteMode::Sync: {
        const auto ids = RangeIds(firstId, lastId);
        if (ids.empty())
            return 0;
        return bus.SendSyncPacket(ids.data(), static_cast<int>(ids.size()), address, &value, 1);
    }
    case WriteMode::Registered: {
        int all = 1;
        for (uint8_t id : RangeIds(firstId, lastId))
            all &= bus.RegWriteMemory(id, address, &value, 1);
        return all;
    }
    }
    return 0;
}
