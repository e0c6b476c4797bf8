#include "sim/ServoFactory.h"

#include "catalogue/CatalogueFile.h"
#include "catalogue/GbkText.h"
#include "protocol/ZNS.h"
#include "support/LeadingInt.h"

#include <algorithm>

namespace {

// The headers of every memory table in the file, as model keys: selector, low end of the
// range, byte order.
std::vector<ModelKey> TableKeys(const std::string& fileName)
{
    const std::string begin = Utf8ToGbk("[内存]");
    const std::string end = Utf8ToGbk("[内存结束]");
    std::vector<ModelKey> keys;
    CatalogueFile file(fileName);
    std::string line;
    bool headerSearch = false;
    while (file.NextLine(line)) {
        if (line == begin) {
            headerSearch = true;
        } else if (line == end) {
            headerSearch = false;
        } else if (headerSearch && std::count(line.begin(), line.end(), ',') == 3) {
            ModelKey key{};
            const auto c1 = line.find(',');
            const auto c3 = line.rfind(',');
            key[0] = static_cast<uint8_t>(LeadingInt(line));
            key[1] = static_cast<uint8_t>(LeadingInt(std::string_view(line).substr(c1 + 1)));
            key[2] = static_cast<uint8_t>(LeadingInt(std::string_view(line).substr(c3 + 1)));
            keys.push_back(key);
            headerSearch = false;
        }
    }
    return keys;
}

// The rows the body reads, by their names.
BodyRows RowsByName(const MemoryTable& items, int rows)
{
    const std::pair<const char*, int BodyRows::*> names[] = {
        {"P比例系数", &BodyRows::p},       {"D微分系数", &BodyRows::d},
        {"I积分系数", &BodyRows::i},       {"最大扭矩", &BodyRows::maxTorque},
        {"卸载条件", &BodyRows::unload},   {"保护时间", &BodyRows::protectTime},
        {"保护扭矩", &BodyRows::protectTorque},
    };
    BodyRows found;
    for (int i = 0; i < rows && items[static_cast<size_t>(i)].address != "NULL"; ++i) {
        const MemoryItem& item = items[static_cast<size_t>(i)];
        const int address = LeadingInt(item.address);
        for (const auto& [name, field] : names)
            if (item.name == name && found.*field < 0 && address >= 0 && address < 255)
                found.*field = address;
        // The position rows, words only.
        if (LeadingInt(item.size) != 2 || address < 0 || address >= 255)
            continue;
        if (item.name == "位置校正" && found.correction < 0) {
            found.correction = address;
            found.correctionSignBit = LeadingInt(item.signBit);
        } else if (item.name == "最小角度限制" && found.minLimit < 0) {
            found.minLimit = address;
        } else if (item.name == "最大角度限制" && found.maxLimit < 0) {
            found.maxLimit = address;
            // Its largest value is the range's last position.
            if (LeadingInt(item.maximum) > 0)
                found.span = LeadingInt(item.maximum) + 1;
        }
    }
    return found;
}

bool ModelOfKey(ModelCatalogue& catalogue, const ModelKey& tableKey, ServoModel& model)
{
    MemoryTable items;
    const int rows = catalogue.LookupMemoryTable(items, tableKey);
    if (rows == 0)
        return false;
    model.factory = FactoryMemory(items, rows, tableKey[2] != 0);
    model.rows = RowsByName(items, rows);
    ModelKey key{};
    std::copy_n(model.factory.begin(), key.size(), key.begin());
    model.name = catalogue.LookupModelName(key);
    DebugProfile profile{};
    if (catalogue.LookupDebugProfile(key, profile))
        model.profile = profile;
    return true;
}

}  // namespace

ServoMemory FactoryMemory(const MemoryTable& items, int rows, bool highByteFirst)
{
    ServoMemory memory{};
    for (int i = 0; i < rows; ++i) {
        const MemoryItem& item = items[static_cast<size_t>(i)];
        if (item.address == "NULL")
            break;
        const int address = LeadingInt(item.address);
        if (address < 0 || address > 255)
            continue;
        const int value = LeadingInt(item.initialValue);
        if (LeadingInt(item.size) == 2 && address < 255) {
            const uint16_t w = EncodeSignMagnitude(value, LeadingInt(item.signBit));
            memory[static_cast<size_t>(address)] = static_cast<uint8_t>(highByteFirst ? w >> 8 : w);
            memory[static_cast<size_t>(address + 1)] =
                static_cast<uint8_t>(highByteFirst ? w : w >> 8);
        } else {
            memory[static_cast<size_t>(address)] = static_cast<uint8_t>(value);
        }
    }
    return memory;
}

bool FindServoModel(ModelCatalogue& catalogue, const std::string& name, ServoModel& model,
                    std::string& error)
{
    for (const ModelKey& key : TableKeys(catalogue.FileName())) {
        ServoModel candidate;
        if (ModelOfKey(catalogue, key, candidate) && candidate.name == name) {
            model = candidate;
            return true;
        }
    }
    error = "no model \"" + name + "\" in " + catalogue.FileName();
    return false;
}

std::vector<std::string> ListServoModels(ModelCatalogue& catalogue)
{
    std::vector<std::string> names;
    for (const ModelKey& key : TableKeys(catalogue.FileName())) {
        ServoModel model;
        if (ModelOfKey(catalogue, key, model))
            names.push_back(model.name);
    }
    return names;
}
