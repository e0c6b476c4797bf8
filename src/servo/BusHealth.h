#pragma once
// The alarm rules of a bus's health, as plain functions over copies: a face (servoctl
// health, the Python module, a window) keeps one ServoHealth a servo, feeds it each poll's
// outcome and reads the alarms as bits. The limits come from the model's memory table, its
// rows found by name.

#include "catalogue/ModelTypes.h"
#include "servo/Feedback.h"
#include "servo/Identify.h"

#include <cstdint>
#include <vector>

namespace text {
inline constexpr const char* kTemperatureLimitRow = "最高温度上限";
inline constexpr const char* kMinVoltageRow = "最低输入电压";
inline constexpr const char* kMaxVoltageRow = "最高输入电压";
inline constexpr const char* kOverloadRow = "过载扭矩";
}  // namespace text

// A servo's limits as its memory holds them; -1 where its table has no such row.
struct HealthLimits {
    int temperatureLimit = -1;  // degrees
    int minVoltage = -1;        // tenths of a volt
    int maxVoltage = -1;
    int overload = -1;          // the load's units
};

// The rows found by name in `rows`, their values from `memory` (addresses from 0) in the
// servo's byte order.
HealthLimits HealthLimitsOf(const std::vector<MemoryItem>& rows, const uint8_t* memory, int size,
                            bool highByteFirst);

// Reads the limits of servo `id` (identified as `identity`) from its memory, by its model's
// table; none when it is not identified, its model has no table or the read fails. Inside a
// bus job.
HealthLimits ReadHealthLimits(ZNS& protocol, ModelCatalogue& catalogue, uint8_t id, const Identity& identity);

// Alarm bits.
enum HealthAlarm : uint32_t {
    kAlarmHot = 1u << 0,          // within 5 °C of the temperature limit
    kAlarmVoltageLow = 1u << 1,   // below the minimum input voltage
    kAlarmVoltageHigh = 1u << 2,  // above the maximum input voltage
    kAlarmOverload = 1u << 3,     // load above the overload row
    kAlarmFault = 1u << 4,        // a fault bit set in the status
    kAlarmSilent = 1u << 5,       // no answer for kSilentMs
    kAlarmSag = 1u << 6,          // voltage more than 10 % below its resting value
};
inline constexpr int kHotMarginDegrees = 5;
inline constexpr long long kSilentMs = 1000;
inline constexpr int kSagPercent = 10;

// The alarms of one poll's feedback against the limits, given the servo's resting voltage
// (the highest seen while it stood still; 0: none yet).
uint32_t FeedbackAlarms(const Feedback& f, const HealthLimits& limits, int restingVoltage);

// One servo's health over time: alarms raised stay latched until acknowledged.
class ServoHealth {
public:
    explicit ServoHealth(HealthLimits limits = {}) : limits(limits) {}
    // One poll at `ms` (any steady clock in ms): its feedback, or none. Returns the alarms
    // raised by it that were not latched before.
    uint32_t Poll(long long ms, const Feedback* answered);
    uint32_t Latched() const { return latched; }
    uint32_t Active() const { return active; }
    void Acknowledge() { latched = active; }
    // Limits found later (a servo identified once it answered); what is latched stays.
    void SetLimits(const HealthLimits& l) { limits = l; }
    int RestingVoltage() const { return resting; }

private:
    HealthLimits limits;
    uint32_t latched = 0;
    uint32_t active = 0;
    int resting = 0;
    long long lastAnswerMs = -1;
    long long firstPollMs = -1;
};
