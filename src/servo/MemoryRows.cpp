#include "servo/MemoryRows.h"

#include "protocol/ZNS.h"
#include "servo/Feedback.h"
#include "support/LeadingInt.h"

#include <algorithm>

namespace {

int Clip(int end)
{
    return std::clamp(end, 0, kImageSize);
}

int EndOf(const MemoryItem& item)
{
    return Clip(static_cast<int>(static_cast<long long>(LeadingInt(item.address)) +
                                 LeadingInt(item.size)));
}

}  // namespace

int TableRows(const MemoryTable& items, int count)
{
    count = std::clamp(count, 0, kMemoryTablePlaces);
    int rows = 0;
    while (rows < count && items[static_cast<size_t>(rows)].address != text::kNullRow)
        ++rows;
    return std::min(rows, kMaxTableRows);
}

int MemorySize(const std::vector<MemoryItem>& rows)
{
    return rows.empty() ? 0 : EndOf(rows.back());
}

int LockAddress(const std::vector<MemoryItem>& rows)
{
    for (const auto& item : rows)
        if (item.name == text::kLockFlag)
            return LeadingInt(item.address);
    return kNoLock;
}

int EpromBlockLength(const std::vector<MemoryItem>& rows)
{
    int end = 0;
    for (const auto& item : rows) {
        if (item.area != text::kEprom)
            break;
        end = EndOf(item);
    }
    return end;
}

std::optional<std::string> DecodeRow(const MemoryItem& item, const MemoryImage& image,
                                     int memorySize, bool highByteFirst)
{
    if (item.name == text::kNoValue)
        return std::nullopt;
    const int a = LeadingInt(item.address);
    const int size = LeadingInt(item.size);
    int raw = 0;
    if (size == 1 && a >= 0 && a < kImageSize) {
        raw = image[static_cast<size_t>(a)];
    } else if (size == 2 && a >= 0 && a + 1 < memorySize && a + 1 < kImageSize) {
        const int first = image[static_cast<size_t>(a)];
        const int second = image[static_cast<size_t>(a + 1)];
        raw = highByteFirst ? first * 256 + second : second * 256 + first;
    } else {
        return std::nullopt;
    }
    if (item.signBit == "-1")
        return std::to_string(raw);
    return std::to_string(DecodeSignMagnitude(static_cast<uint16_t>(raw), LeadingInt(item.signBit)));
}

std::vector<std::pair<int, std::string>> DecodeRows(const std::vector<MemoryItem>& rows,
                                                    const MemoryImage& image, int memorySize)
{
    std::vector<std::pair<int, std::string>> values;
    values.reserve(rows.size());
    const bool highByteFirst = image[addr::kByteOrder] != 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (auto v = DecodeRow(rows[i], image, memorySize, highByteFirst))
            values.emplace_back(static_cast<int>(i), std::move(*v));
        if (LeadingInt(rows[i].address) >= memorySize)
            break;
    }
    return values;
}

bool RowWritable(const std::string& access)
{
    return access != text::kReadOnly && access != text::kNoValue;
}
