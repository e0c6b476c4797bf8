#include "servo/Crc16.h"

namespace {

uint16_t Reverse16(uint16_t v)
{
    uint16_t r = 0;
    for (int i = 0; i < 16; ++i)
        if (v & (1u << i))
            r = static_cast<uint16_t>(r | (1u << (15 - i)));
    return r;
}

}  // namespace

void Crc16::Configure(uint16_t initValue, uint16_t finalXorValue, uint16_t polynomial,
                      uint8_t reflected)
{
    init = initValue;
    finalXor = finalXorValue;
    reflect = reflected;
    poly = reflected ? Reverse16(polynomial) : polynomial;
}

uint16_t Crc16::Compute(const uint8_t* bytes, uint16_t count) const
{
    uint16_t crc = init;
    for (uint16_t i = 0; i < count; ++i) {
        if (reflect) {
            crc = static_cast<uint16_t>(crc ^ bytes[i]);
            for (int b = 0; b < 8; ++b)
                crc = static_cast<uint16_t>(crc & 1 ? (crc >> 1) ^ poly : crc >> 1);
        } else {
            crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
            for (int b = 0; b < 8; ++b)
                crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ poly : crc << 1);
        }
    }
    return static_cast<uint16_t>(crc ^ finalXor);
}
