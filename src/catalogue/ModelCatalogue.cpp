#include "catalogue/ModelCatalogue.h"

#include "catalogue/CatalogueFile.h"
#include "catalogue/GbkText.h"
#include "support/LeadingInt.h"

#include <string_view>
#include <vector>

namespace {

// The section markers as they stand in the GBK file.
struct Markers {
    std::string modelBegin = Utf8ToGbk("[型号]");
    std::string modelEnd = Utf8ToGbk("[型号结束]");
    std::string memoryBegin = Utf8ToGbk("[内存]");
    std::string memoryEnd = Utf8ToGbk("[内存结束]");
    std::string debugBegin = Utf8ToGbk("[调试]");
    std::string debugEnd = Utf8ToGbk("[调试结束]");
    std::string upgradeBegin = Utf8ToGbk("[升级]");
    std::string upgradeEnd = Utf8ToGbk("[升级结束]");
};

const Markers& GbkMarkers()
{
    static const Markers markers;
    return markers;
}

// The first `keep` comma-separated fields of a line, and how many fields it has in all.
size_t SplitFields(std::string_view line, size_t keep, std::vector<std::string_view>& fields)
{
    fields.clear();
    size_t count = 1;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != ',')
            continue;
        if (fields.size() < keep)
            fields.push_back(line.substr(start, i - start));
        start = i + 1;
        ++count;
    }
    if (fields.size() < keep)
        fields.push_back(line.substr(start));
    return count;
}

uint8_t Number(std::string_view field)
{
    return static_cast<uint8_t>(LeadingInt(field));
}

KeyPattern PatternOf(const std::vector<std::string_view>& fields)
{
    return {Number(fields[0]), Number(fields[1]), Number(fields[2]), Number(fields[3])};
}

// Hands each line inside the section that `begin` opens to `row`, until `row` returns true
// or the first `end` line of the file; lines before the section are skipped.
template <class Row>
void ForEachRowOfFirstSection(const std::string& fileName, const std::string& begin,
                              const std::string& end, Row row)
{
    CatalogueFile file(fileName);
    std::string line;
    bool inSection = false;
    while (file.NextLine(line) && line != end) {
        if (line == begin)
            inSection = true;
        else if (inSection && row(line))
            return;
    }
}

}  // namespace

std::string& MemoryItem::Field(int i)
{
    std::string* fields[kFields] = {&address, &name,   &size,    &initialValue, &signBit,
                                    &area,    &access, &minimum, &maximum};
    return *fields[i];
}

ModelCatalogue::ModelCatalogue(std::string fileName) : fileName(std::move(fileName)) {}

bool ModelCatalogue::MatchTablePattern(const KeyPattern& pattern, const ModelKey& key)
{
    return pattern.selector == key[0] && pattern.orderByte == key[2] &&
           pattern.rangeLow <= key[1] && key[1] <= pattern.rangeHigh;
}

bool ModelCatalogue::MatchModelPattern(const KeyPattern& pattern, const ModelKey& key)
{
    return pattern.selector == key[3] && pattern.orderByte == key[2] &&
           pattern.rangeLow <= key[4] && key[4] <= pattern.rangeHigh;
}

std::string ModelCatalogue::LookupModelName(const ModelKey& key)
{
    std::lock_guard lock(lookupMutex);
    const Markers& m = GbkMarkers();
    std::string name = kUnknownModel;
    std::vector<std::string_view> fields;
    ForEachRowOfFirstSection(fileName, m.modelBegin, m.modelEnd, [&](const std::string& line) {
        // A model row is four numbers and the name after the fourth comma; a row without
        // four commas has no complete pattern and matches nothing.
        const size_t count = SplitFields(line, 5, fields);
        if (count < 5 || !MatchModelPattern(PatternOf(fields), key))
            return false;
        if (count == 5)  // a name holds no comma, or the row names no model
            name = GbkToUtf8(fields[4]);
        return true;
    });
    return name;
}

int ModelCatalogue::LookupMemoryTable(MemoryTable& items, const ModelKey& key)
{
    std::lock_guard lock(lookupMutex);
    const Markers& m = GbkMarkers();
    CatalogueFile file(fileName);
    enum class State { Outside, HeaderSearch, TableRows } state = State::Outside;
    int count = 0;
    std::string line;
    std::vector<std::string_view> fields;
    while (count < kMemoryTablePlaces && file.NextLine(line)) {
        if (line == m.memoryBegin) {
            state = State::HeaderSearch;
            continue;
        }
        if (line == m.memoryEnd) {
            if (state == State::TableRows)
                break;
            state = State::Outside;
            continue;
        }
        if (state == State::HeaderSearch) {
            if (SplitFields(line, 4, fields) == 4 && MatchTablePattern(PatternOf(fields), key))
                state = State::TableRows;
        } else if (state == State::TableRows) {
            SplitFields(line, MemoryItem::kFields, fields);
            MemoryItem& item = items[static_cast<size_t>(count)];
            // A row with fewer than nine fields leaves the rest empty rather than keeping
            // what an earlier lookup put in that place.
            for (int f = 0; f < MemoryItem::kFields; ++f)
                item.Field(f) = f < static_cast<int>(fields.size())
                                    ? GbkToUtf8(fields[static_cast<size_t>(f)])
                                    : std::string();
            ++count;
        }
    }
    return count;
}

int ModelCatalogue::LookupDebugProfile(const ModelKey& key, DebugProfile& profile)
{
    std::lock_guard lock(lookupMutex);
    const Markers& m = GbkMarkers();
    int found = 0;
    std::vector<std::string_view> fields;
    ForEachRowOfFirstSection(fileName, m.debugBegin, m.debugEnd, [&](const std::string& line) {
        if (SplitFields(line, 9, fields) != 9 || !MatchTablePattern(PatternOf(fields), key))
            return false;
        profile = {Number(fields[4]), Number(fields[5]), Number(fields[6]), Number(fields[7]),
                   Number(fields[8])};
        found = 1;
        return true;
    });
    return found;
}

int ModelCatalogue::LookupLoaderUnlock(const ModelKey& key, std::array<uint8_t, 5>& unlock)
{
    std::lock_guard lock(lookupMutex);
    const Markers& m = GbkMarkers();
    int found = 0;
    std::vector<std::string_view> fields;
    ForEachRowOfFirstSection(fileName, m.upgradeBegin, m.upgradeEnd, [&](const std::string& line) {
        if (SplitFields(line, 9, fields) != 9 || !MatchTablePattern(PatternOf(fields), key))
            return false;
        for (size_t i = 0; i < unlock.size(); ++i)
            unlock[i] = Number(fields[4 + i]);
        found = 1;
        return true;
    });
    return found;
}

ServoProfile ModelCatalogue::ProfileOf(const ModelKey& key)
{
    ServoProfile profile;
    profile.byteOrder = key[addr::kByteOrder];
    profile.statusLevel = key[addr::kStatusLevel];
    DebugProfile debug{};
    if (LookupDebugProfile(key, debug))
        profile.positionAddress = static_cast<uint8_t>(debug.torqueAddress + 1);
    return profile;
}
