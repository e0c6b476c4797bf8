// The alarm rules: each limit found by its row's name, alarms latched until acknowledged, a
// silent servo and a sagging supply.
#include "servo/BusHealth.h"

#include <gtest/gtest.h>

namespace {

MemoryItem Row(int address, const char* name, int size)
{
    MemoryItem item;
    item.address = std::to_string(address);
    item.name = name;
    item.size = std::to_string(size);
    return item;
}

TEST(BusHealth, LimitsComeFromTheRowsNamed)
{
    uint8_t memory[64] = {};
    memory[13] = 70;                   // temperature limit
    memory[14] = 120;                  // max voltage
    memory[15] = 45;                   // min voltage
    memory[36] = 0x20, memory[37] = 0x03;  // overload 800, low byte first
    const std::vector<MemoryItem> rows = {Row(13, "最高温度上限", 1), Row(14, "最高输入电压", 1),
                                          Row(15, "最低输入电压", 1), Row(36, "过载扭矩", 2),
                                          Row(60, "过载扭矩", 2)};
    const HealthLimits l = HealthLimitsOf(rows, memory, sizeof memory, false);
    EXPECT_EQ(l.temperatureLimit, 70);
    EXPECT_EQ(l.maxVoltage, 120);
    EXPECT_EQ(l.minVoltage, 45);
    EXPECT_EQ(l.overload, 800);
    EXPECT_EQ(HealthLimitsOf({Row(63, "过载扭矩", 2)}, memory, sizeof memory, false).overload, -1);
}

TEST(BusHealth, EachRuleRaisesItsAlarm)
{
    const HealthLimits limits{70, 45, 120, 800};
    struct Case {
        Feedback f;
        int resting;
        uint32_t alarms;
    } cases[] = {
        {{.load = 100, .voltage = 100, .temperature = 40}, 0, 0},
        {{.voltage = 100, .temperature = 65}, 0, kAlarmHot},
        {{.voltage = 44, .temperature = 40}, 0, kAlarmVoltageLow},
        {{.voltage = 121, .temperature = 40}, 0, kAlarmVoltageHigh},
        {{.load = -801, .voltage = 100, .temperature = 40}, 0, kAlarmOverload},
        {{.voltage = 100, .temperature = 40, .status = 0x20}, 0, kAlarmFault},
        {{.voltage = 89, .temperature = 40}, 100, kAlarmSag},
        {{.voltage = 90, .temperature = 40}, 100, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FeedbackAlarms(c.f, limits, c.resting), c.alarms) << c.f.voltage << " " << c.f.temperature;
}

TEST(BusHealth, AlarmsLatchUntilAcknowledged)
{
    ServoHealth health({70, 45, 120, 800});
    Feedback hot{.voltage = 100, .temperature = 68};
    Feedback cool{.voltage = 100, .temperature = 30};
    EXPECT_EQ(health.Poll(0, &hot), kAlarmHot);
    EXPECT_EQ(health.Poll(100, &hot), 0u);  // raised once
    EXPECT_EQ(health.Poll(200, &cool), 0u);
    EXPECT_EQ(health.Latched(), kAlarmHot);  // still latched
    health.Acknowledge();
    EXPECT_EQ(health.Latched(), 0u);
    // Silent for a second: raised once, and latched while it stays silent.
    EXPECT_EQ(health.Poll(900, nullptr), 0u);
    EXPECT_EQ(health.Poll(1200, nullptr), kAlarmSilent);
    health.Acknowledge();
    EXPECT_EQ(health.Latched(), kAlarmSilent);  // still silent: stays
    EXPECT_EQ(health.Poll(1300, &cool), 0u);
    health.Acknowledge();
    EXPECT_EQ(health.Latched(), 0u);
    EXPECT_EQ(health.RestingVoltage(), 100);
}

}  // namespace
