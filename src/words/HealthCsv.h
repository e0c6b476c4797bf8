#pragma once
// The rows of a bus's health as comma-separated values: servoctl health --csv and the bus
// overview's export and log write the same file, one row per servo per round.

#include "bus/LinkStats.h"
#include "servo/Feedback.h"

#include <cstdint>
#include <string>

inline constexpr const char* kHealthCsvHeader =
    "time_ms,id,model,requests,answered,timeouts,checksum_errors,malformed,latency_p50_us,"
    "latency_p99_us,position,temperature,voltage,load,status,alarms";

// The words for the alarm bits (servo/BusHealth.h), joined by `separator`: "hot", "voltage
// low", "voltage high", "overload", "fault", "no answer for 1 s", "supply sags".
std::string AlarmWords(uint32_t alarms, const char* separator);

// One row at `ms`: the counts of `link` and, when the servo answered its last poll, its
// feedback `fresh` (none: those fields stay empty); the alarms joined by "|".
std::string HealthCsvRow(long long ms, int id, const std::string& model, const IdLinkStats& link,
                         const Feedback* fresh, uint32_t alarms);
