#include "servo/BusHealth.h"

#include "servo/MemoryRows.h"
#include "support/LeadingInt.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

HealthLimits HealthLimitsOf(const std::vector<MemoryItem>& rows, const uint8_t* memory, int size,
                            bool highByteFirst)
{
    HealthLimits limits;
    for (const MemoryItem& row : rows) {
        int* field = row.name == text::kTemperatureLimitRow ? &limits.temperatureLimit
                     : row.name == text::kMinVoltageRow     ? &limits.minVoltage
                     : row.name == text::kMaxVoltageRow     ? &limits.maxVoltage
                     : row.name == text::kOverloadRow       ? &limits.overload
                                                            : nullptr;
        const int address = LeadingInt(row.address);
        const int bytes = LeadingInt(row.size);
        if (field == nullptr || *field >= 0 || address < 0 || (bytes != 1 && bytes != 2) ||
            address + bytes > size)
            continue;
        const int a = memory[address];
        *field = bytes == 1 ? a : highByteFirst ? (a << 8) | memory[address + 1] : (memory[address + 1] << 8) | a;
    }
    return limits;
}

uint32_t FeedbackAlarms(const Feedback& f, const HealthLimits& limits, int restingVoltage)
{
    uint32_t alarms = 0;
    if (limits.temperatureLimit > 0 && f.temperature >= limits.temperatureLimit - kHotMarginDegrees)
        alarms |= kAlarmHot;
    if (limits.minVoltage > 0 && f.voltage < limits.minVoltage)
        alarms |= kAlarmVoltageLow;
    if (limits.maxVoltage > 0 && f.voltage > limits.maxVoltage)
        alarms |= kAlarmVoltageHigh;
    if (limits.overload > 0 && std::abs(f.load) > limits.overload)
        alarms |= kAlarmOverload;
    if (f.status != 0)
        alarms |= kAlarmFault;
    if (restingVoltage > 0 && f.voltage * 100 < restingVoltage * (100 - kSagPercent))
        alarms |= kAlarmSag;
    return alarms;
}

uint32_t ServoHealth::Poll(long long ms, const Feedback* answered)
{
    if (firstPollMs < 0)
        firstPollMs = ms;
    uint32_t now = 0;
    if (answered) {
        lastAnswerMs = ms;
        // The supply at rest: the highest voltage seen while the servo stood still.
        if (!answered->moving && answered->voltage > resting)
            resting = answered->voltage;
        now = FeedbackAlarms(*answered, limits, resting);
    } else if (ms - (lastAnswerMs >= 0 ? lastAnswerMs : firstPollMs) >= kSilentMs) {
        // A silent servo keeps what it last raised, and is silent besides.
        now = (active & ~kAlarmSilent) | kAlarmSilent;
    } else {
        now = active;
    }
    active = now;
    const uint32_t raised = now & ~latched;
    latched |= now;
    return raised;
}

HealthLimits ReadHealthLimits(ZNS& protocol, ModelCatalogue& catalogue, uint8_t id, const Identity& identity)
{
    if (!identity.read)
        return {};
    auto table = std::make_unique<MemoryTable>();
    const int count = catalogue.LookupMemoryTable(*table, identity.key);
    const std::vector<MemoryItem> rows(table->begin(), table->begin() + TableRows(*table, count));
    const int size = std::min(MemorySize(rows), kMaxReadCount);
    uint8_t memory[kMaxReadCount] = {};
    if (size <= 0 || !protocol.ReadMemory(id, 0, memory, static_cast<uint8_t>(size)))
        return {};
    return HealthLimitsOf(rows, memory, size, identity.profile.byteOrder != 0);
}
