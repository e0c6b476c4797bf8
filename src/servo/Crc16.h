#pragma once
#include <cstdint>

// A table-free CRC-16 engine, configurable for the common variants. The upgrade page uses it
// as CRC-16/XMODEM: init 0, final XOR 0, poly 0x1021, not reflected.
class Crc16 {
public:
    void Configure(uint16_t init, uint16_t finalXor, uint16_t poly, uint8_t reflect);
    uint16_t Compute(const uint8_t* bytes, uint16_t count) const;

    uint16_t init = 0;
    uint16_t finalXor = 0;
    uint16_t poly = 0x1021;
    uint8_t reflect = 0;
};
