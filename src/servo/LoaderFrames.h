#pragma once
// The servo loader's transfer: after the upgrade instruction the port runs at 500000 baud,
// the loader takes an unlock sequence and a start byte (one answer byte each), then 70-byte
// blocks of 64 image bytes, each answered with one byte.

#include "servo/Crc16.h"

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr int kLoaderBaudRate = 500000;
inline constexpr std::array<uint8_t, 5> LoaderUnlock = {0x7E, 0x5A, 0xA5, 0x3C, 0xC3};
inline constexpr uint8_t kLoaderStart = 0x01;
inline constexpr uint8_t kLoaderAck = 0x06;
inline constexpr uint8_t kLoaderRefuse = 0x15;
inline constexpr uint8_t kBlockMore = 0x06;
inline constexpr uint8_t kBlockLast = 0x04;
inline constexpr int kBlockDataSize = 64;
inline constexpr int kUpgradeBlockSize = 70;

using UpgradeBlock = std::array<uint8_t, kUpgradeBlockSize>;

// The CRC the loader checks: CRC-16/XMODEM.
Crc16 LoaderCrc();

// Block `index` (from 1) of an image of `blockCount` blocks; image bytes past `size` read
// 0xFF.
UpgradeBlock BuildUpgradeBlock(const uint8_t* image, size_t size, int index, int blockCount,
                               uint8_t kind, const Crc16& crc);

// Whether a received block is well formed: number and complement agree, the CRC over the
// data matches, and the trailer is one of the two allowed.
bool IsValidUpgradeBlock(const UpgradeBlock& block, const Crc16& crc);
