#include "servo/PositionCommand.h"

#include <algorithm>
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

namespace {

// Sends `send` for each slice of the range that one sync packet can hold, in increasing
// order, back to back: each servo acts on its own packet, so the last ones start one
// packet's wire time after the first. The first failed packet's result, or the last one's.
template <typename Send>
Reply SyncInSlices(ZNS& protocol, const std::vector<uint8_t>& ids, int blockLength, Send send)
{
    if (ids.empty())
        return Reply::Failed(Outcome::WriteFailed);
    const size_t slice = static_cast<size_t>(SyncGroupsPerPacket(blockLength));
    const ZNS::Uninterrupted sequence(protocol);
    Reply all = Reply::Answered();
    for (size_t from = 0; from < ids.size(); from += slice) {
        const int count = static_cast<int>(std::min(slice, ids.size() - from));
        const Reply r = send(ids.data() + from, count);
        if (all.ok())
            all = r;
    }
    return all;
}

}  // namespace

Reply SyncPositionCommand(ZNS& protocol, const ServoProfile& profile, const std::vector<uint8_t>& ids,
                          int target, int speed, int time, int acceleration)
{
    return SyncInSlices(protocol, ids, 7, [&](const uint8_t* slice, int count) {
        return protocol.SyncWritePosition(profile, slice, count, target, acceleration, speed, time);
    });
}

Reply IssuePositionCommand(ZNS& protocol, const ServoProfile& profile, WriteMode mode, int firstId,
                           int lastId, int target, int speed, int time, int acceleration)
{
    const auto first = static_cast<uint8_t>(firstId);
    switch (mode) {
    case WriteMode::Normal:
        return protocol.WritePosition(profile, first, target, acceleration, speed, time);
    case WriteMode::Sync:
        return SyncPositionCommand(protocol, profile, RangeIds(firstId, lastId), target, speed, time,
                                   acceleration);
    case WriteMode::Registered: {
        const ZNS::Uninterrupted sequence(protocol);
        Reply all = Reply::Answered();
        for (uint8_t id : RangeIds(firstId, lastId)) {
            const Reply r = protocol.RegWritePosition(profile, id, target, acceleration, speed, time);
            if (all.ok())
                all = r;
        }
        return all;
    }
    }
    return Reply::Failed(Outcome::WriteFailed);
}

Reply SendTorqueSwitch(ZNS& protocol, const ServoProfile& profile, WriteMode mode, int firstId,
                       int lastId, uint8_t address, bool on)
{
    const uint8_t value = on ? 1 : 0;
    switch (mode) {
    case WriteMode::Normal:
        return protocol.WriteByte(profile, static_cast<uint8_t>(firstId), address, value);
    case WriteMode::Sync:
        return SyncInSlices(protocol, RangeIds(firstId, lastId), 1, [&](const uint8_t* ids, int count) {
            return protocol.Sent(protocol.SendSyncPacket(ids, count, address, &value, 1));
        });
    case WriteMode::Registered: {
        const ZNS::Uninterrupted sequence(protocol);
        Reply all = Reply::Answered();
        for (uint8_t id : RangeIds(firstId, lastId)) {
            const Reply r = protocol.RegWriteMemory(profile, id, address, &value, 1);
            if (all.ok())
                all = r;
        }
        return all;
    }
    }
    return Reply::Failed(Outcome::WriteFailed);
}
