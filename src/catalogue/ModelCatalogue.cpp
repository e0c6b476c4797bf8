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
    CatalogueFile file(fileName);
    std::string line;
    std::vector<std::string_view> fields;
    bool inSection = false;
    while (file.NextLine(line)) {
        if (line == m.modelBegin) {
            inSection = true;
            continue;
        }
        if (line == m.modelEnd)
            break;
        if (!inSection)
            continue;
        // A model row is four numbers and the name after the fourth comma; a row without
        // four commas has no complete pattern and matches nothing.
        const size_t count = SplitFields(line, 5, fields);
        if (count < 5 || !MatchModelPattern(PatternOf(fields), key))
            continue;
        if (count > 5)
            return kUnknownModel;  // a name must hold no comma
        return GbkToUtf8(fields[4]);
    }
    return kUnknownModel;
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
    CatalogueFile file(fileName);
    std::string line;
    std::vector<std::string_view> fields;
    bool inSection = false;
    while (file.NextLine(line)) {
        if (line == m.debugBegin) {
            inSection = true;
            continue;
        }
        if (line == m.debugEnd)
            break;
        if (!inSection || SplitFields(line, 9, fields) != 9 ||
            !MatchTablePattern(PatternOf(fields), key))
            continue;
        profile = {Number(fields[4]), Number(fields[5]), Number(fields[6]), Number(fields[7]),
                   Number(fields[8])};
        return 1;
    }
    return 0;
}
