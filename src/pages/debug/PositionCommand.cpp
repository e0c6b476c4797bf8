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

Reply IssuePositionCommand(ZNS& bus, const ServoProfile& profile, WriteMode mode, int firstId,
                           int lastId, int target, int speed, int time, int acceleration)
{
    const auto first = static_cast<uint8_t>(firstId);
    switch (mode) {
    case WriteMode::Normal:
        return bus.WritePosition(profile, first, target, acceleration, speed, time);
    case WriteMode::Sync: {
        const auto ids = RangeIds(firstId, lastId);
        if (ids.empty())
            return Reply::Failed(Outcome::WriteFailed);
        return bus.SyncWritePosition(profile, ids.data(), static_cast<int>(ids.size()), target,
                                     acceleration, speed, time);
    }
    case WriteMode::Registered: {
        Reply all = Reply::Answered();
        for (uint8_t id : RangeIds(firstId, lastId)) {
            const Reply r = bus.RegWritePosition(profile, id, target, acceleration, speed, time);
            if (all.ok())
                all = r;
        }
        return all;
    }
    }
    return Reply::Failed(Outcome::WriteFailed);
}

Reply SendTorqueSwitch(ZNS& bus, const ServoProfile& profile, WriteMode mode, int firstId,
                       int lastId, uint8_t address, bool on)
{
    const uint8_t value = on ? 1 : 0;
    switch (mode) {
    case WriteMode::Normal:
        return bus.WriteByte(profile, static_cast<uint8_t>(firstId), address, value);
    case WriteMode::Sync: {
        const auto ids = RangeIds(firstId, lastId);
        if (ids.empty())
            return Reply::Failed(Outcome::WriteFailed);
        return bus.Sent(
            bus.SendSyncPacket(ids.data(), static_cast<int>(ids.size()), address, &value, 1));
    }
    case WriteMode::Registered: {
        Reply all = Reply::Answered();
        for (uint8_t id : RangeIds(firstId, lastId)) {
            const Reply r = bus.RegWriteMemory(profile, id, address, &value, 1);
            if (all.ok())
                all = r;
        }
        return all;
    }
    }
    return Reply::Failed(Outcome::WriteFailed);
}
