#pragma once
// The debug page's command rules, shared with servoctl: how typed values become the words of
// a position command, and what each write mode sends to an ID range. Each command runs as
// one bus job.

#include "protocol/ZNS.h"

#include <cstdint>
#include <vector>

enum class WriteMode { Normal = 0, Sync = 1, Registered = 2 };

inline constexpr int kTargetLimit = 30719;

// The target limited to ±30719.
int LimitTarget(int target);
// A negative speed travels as its magnitude with bit 15 set.
int EncodeSpeed(int speed);
// A negative time travels as its magnitude with bit 10 set.
int EncodeTime(int time);

// IDs firstId..lastId, each taken modulo 256, at most 256 of them; empty when the range ends
// below its start.
std::vector<uint8_t> RangeIds(int firstId, int lastId);

// One position command (speed and time already encoded): a write to firstId, sync-write
// packets for the range (as many as it needs, back to back: one packet holds at most 31
// servos), or a registered write to each ID of the range. The first failed exchange's reply,
// or the last one's.
Reply IssuePositionCommand(ZNS& protocol, const ServoProfile& profile, WriteMode mode, int firstId,
                           int lastId, int target, int speed, int time, int acceleration);

// One position command to every servo of `ids` in sync-write packets, as many as the list needs,
// back to back (31 servos to a packet): each servo acts on its own packet.
Reply SyncPositionCommand(ZNS& protocol, const ServoProfile& profile, const std::vector<uint8_t>& ids,
                          int target, int speed, int time, int acceleration);

// The torque switch at `address`, in the same three forms (125 servos to a sync packet).
Reply SendTorqueSwitch(ZNS& protocol, const ServoProfile& profile, WriteMode mode, int firstId,
                       int lastId, uint8_t address, bool on);
