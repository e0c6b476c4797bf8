#pragma once
// The records the model catalogue hands to the rest of the program.

#include <array>
#include <cstdint>
#include <string>

// A servo's memory addresses 0 to 8 as the search reads them: bytes 0 and 1 select its
// memory table and debug settings, 2 is its byte order, 3 and 4 select its model name,
// 5 is its ID, 6 its baud-rate code and 8 its status level.
using ModelKey = std::array<uint8_t, 9>;

// Fixed memory addresses the tool interprets itself.
namespace addr {
inline constexpr uint8_t kByteOrder = 2;
inline constexpr uint8_t kId = 5;
inline constexpr uint8_t kBaudCode = 6;
inline constexpr uint8_t kStatusLevel = 8;
inline constexpr uint8_t kFaultFlags = 65;
}  // namespace addr

// The first four numbers of a model row, memory-table header or debug row.
struct KeyPattern {
    uint8_t selector = 0;
    uint8_t rangeLow = 0;
    uint8_t rangeHigh = 0;
    uint8_t orderByte = 0;
};

// One row of a model's memory table, its nine fields as text, in UTF-8.
struct MemoryItem {
    std::string address;       // decimal; "NULL" ends the table
    std::string name;          // "--" shows no value; "锁标志" is the write lock
    std::string size;          // 1 or 2 bytes
    std::string initialValue;  // shown until the first read
    std::string signBit;       // bit of a sign-and-magnitude value; "-1" unsigned
    std::string area;          // "EPROM" for non-volatile parameters
    std::string access;        // "只读" for read-only parameters
    std::string minimum;       // "-1" for none
    std::string maximum;       // "-1" for none

    static constexpr int kFields = 9;
    std::string& Field(int i);
};

inline constexpr int kMemoryTablePlaces = 254;
using MemoryTable = std::array<MemoryItem, kMemoryTablePlaces>;

// The debug page's settings for a model.
struct DebugProfile {
    uint8_t feedbackFirst = 0;
    uint8_t feedbackLast = 0;
    uint8_t torqueAddress = 0;
    uint8_t positionDivisor = 0;
    uint8_t speedFactor = 0;
};

inline constexpr const char* kUnknownModel = "未知型号";
