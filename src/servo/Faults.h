#pragma once
// The fault bits of a servo's status byte (memory address 65), and the order in which every
// face names the set ones.

#include <cstdint>

enum class Fault : uint8_t {
    Voltage = 0x01,      // over- or under-voltage
    Sensor = 0x02,       // the position sensor failed
    Temperature = 0x04,  // overheated
    Current = 0x08,      // overcurrent
    Load = 0x20,         // overload
};

inline constexpr Fault kFaults[] = {Fault::Voltage, Fault::Temperature, Fault::Current,
                                    Fault::Load, Fault::Sensor};

inline bool HasFault(uint8_t status, Fault fault)
{
    return (status & static_cast<uint8_t>(fault)) != 0;
}

// The names of the faults set in `status`, in that order, joined by `separator` (empty when
// none is set). `name` words one fault: each face has its own words and its own text type.
template <class Text, class Name>
Text JoinFaults(uint8_t status, const Text& separator, Name name)
{
    Text joined;
    for (const Fault fault : kFaults) {
        if (!HasFault(status, fault))
            continue;
        if (joined.size() != 0)
            joined += separator;
        joined += name(fault);
    }
    return joined;
}
