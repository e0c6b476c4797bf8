#pragma once
// The rules by which the programming page reads a model's memory table: where it ends, how
// much memory it spans, where the write lock sits, how far the EPROM block reaches, how an
// item's value is decoded from the memory image, and the fault text of address 65.

#include "catalogue/ModelTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The memory image the page keeps: memory address a is byte a.
inline constexpr int kImageSize = 255;
using MemoryImage = std::array<uint8_t, kImageSize>;

// The most rows a table may have before its "NULL" row (the catalogue's places, less that
// row).
inline constexpr int kMaxTableRows = kMemoryTablePlaces - 1;

// The most data bytes one read reply can carry (its length byte counts them plus two).
inline constexpr int kMaxReadCount = 253;

// The most data bytes one write packet can carry (its length byte counts them plus three).
inline constexpr int kMaxWriteCount = 252;

namespace text {
inline constexpr const char* kLockFlag = "锁标志";
inline constexpr const char* kNoValue = "--";
inline constexpr const char* kEprom = "EPROM";
inline constexpr const char* kReadOnly = "只读";
inline constexpr const char* kNullRow = "NULL";
}  // namespace text

// The rows of `items` (of which `count` were read) before the first "NULL" row, at most
// kMaxTableRows; a table without a "NULL" row is cut there as well.
int TableRows(const MemoryTable& items, int count);

// The end address of the table: address plus size of its last row, within the image; 0 for
// no rows.
int MemorySize(const std::vector<MemoryItem>& rows);

// The address of the lock flag: the first row named "锁标志"; kNoLock when the table has
// none, and then its servo's EPROM takes writes without the lock sequence (writing a lock
// value to some other address would change a byte the user never chose).
inline constexpr int kNoLock = -1;
int LockAddress(const std::vector<MemoryItem>& rows);

// The end of the EPROM block that parameter files hold: the rows from the first on for as
// long as their area is "EPROM"; address plus size of the last of them, within the image;
// 0 when the first row is not "EPROM".
int EpromBlockLength(const std::vector<MemoryItem>& rows);

// The value text of a row from the image, or nothing when the row shows no value ("--",
// a size other than 1 or 2, a word whose second byte lies at or past the memory size).
// `highByteFirst` is the servo's byte order (memory address 2).
std::optional<std::string> DecodeRow(const MemoryItem& item, const MemoryImage& image,
                                     int memorySize, bool highByteFirst);

// Every row's value text as DecodeRow gives it, in table order, stopping after the first row
// whose address is not below the memory size; rows without a value are left out.
std::vector<std::pair<int, std::string>> DecodeRows(const std::vector<MemoryItem>& rows,
                                                    const MemoryImage& image, int memorySize);

// Whether a row may be edited.
bool RowWritable(const std::string& access);
