#pragma once
// The firmware image the upgrade sends: a 64 KiB window filled with 0xFF, into which an Intel
// HEX file's data records or a BIN file's bytes are stored, and the block count of its
// transfer.

#include <array>
#include <cstddef>
#include <cstdint>

// What a successful load read; sent in every block of the transfer.
inline constexpr int32_t kImageHex = 0;
inline constexpr int32_t kImageBin = 1;

struct FirmwareImage {
    static constexpr uint32_t kSize = 65536;

    FirmwareImage() { data.fill(0xFF); }
    // Starts a new load: no bytes, every byte 0xFF.
    void Clear()
    {
        length = 0;
        data.fill(0xFF);
    }

    // Bytes the transfer sends from offset 0. 32 bits wide, so a BIN file that fills the
    // whole window (65536 bytes) keeps its size. A HEX image counts up to its highest stored
    // byte, so gaps and overlapping records are sent whole.
    uint32_t length = 0;
    std::array<uint8_t, kSize> data;
    // HEX record addresses at or above it are moved down by it.
    uint32_t base = 0x8000;
};

// One line of a HEX file, without its line end: 1 when it was accepted (stored, or a
// non-data record that is taken unchecked), -1 for a format error. A data record's bytes are
// stored before its checksum is tested, so a rejected record may have left them in `data`.
int ParseHexRecord(FirmwareImage& image, const char* line, size_t lineLength);

// The 64-byte blocks of the transfer: length / 64, one more for a remainder.
int BlockCount(uint32_t length);
