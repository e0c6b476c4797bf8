// The model catalogue over an arbitrary setup.log: the three lookups are compared with a
// plain reading of the format done here on the whole file in memory, and every text that
// leaves the catalogue must be UTF-8.
//
// Input: the 9-byte ModelKey, one stretch byte s, then the file's bytes. The file starts
// with (s % 80) KiB of 'x' (one long first line, which moves every following line across
// the reader's buffer boundaries and can pass its line-length cap), then the bytes.
#include "FuzzCheck.h"

#include "catalogue/CatalogueFile.h"
#include "catalogue/GbkText.h"
#include "catalogue/ModelCatalogue.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The section markers in GBK.
const std::string kModelBegin = "[\xD0\xCD\xBA\xC5]";
const std::string kModelEnd = "[\xD0\xCD\xBA\xC5\xBD\xE1\xCA\xF8]";
const std::string kMemoryBegin = "[\xC4\xDA\xB4\xE6]";
const std::string kMemoryEnd = "[\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8]";
const std::string kDebugBegin = "[\xB5\xF7\xCA\xD4]";
const std::string kDebugEnd = "[\xB5\xF7\xCA\xD4\xBD\xE1\xCA\xF8]";

std::vector<std::string> Lines(const std::string& file)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < file.size()) {
        size_t lf = file.find('\n', start);
        if (lf == std::string::npos)
            lf = file.size();
        std::string line = file.substr(start, std::min(lf - start, CatalogueFile::kMaxLine));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = lf + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

// A C decimal conversion, clamped to int, kept in 8 bits.
uint8_t Number(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    value = negative ? -value : std::min(value, static_cast<long long>(INT_MAX));
    return static_cast<uint8_t>(value);
}

bool InRange(const std::vector<std::string>& f, uint8_t selector, uint8_t order, uint8_t value)
{
    return Number(f[0]) == selector && Number(f[3]) == order && Number(f[1]) <= value &&
           value <= Number(f[2]);
}

bool ValidUtf8(const std::string& s)
{
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (more == 4 || i + more >= s.size())
            return false;
        for (size_t k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += more + 1;
    }
    return true;
}

std::string ExpectedName(const std::vector<std::string>& lines, const ModelKey& key)
{
    bool inSection = false;
    for (const auto& line : lines) {
        if (line == kModelEnd)
            break;
        if (line == kModelBegin) {
            inSection = true;
            continue;
        }
        if (!inSection)
            continue;
        const auto f = Fields(line);
        if (f.size() < 5 || !InRange(f, key[3], key[2], key[4]))
            continue;
        return f.size() == 5 ? GbkToUtf8(f[4]) : kUnknownModel;
    }
    return kUnknownModel;
}

int ExpectedTable(const std::vector<std::string>& lines, const ModelKey& key,
                  std::vector<std::vector<std::string>>& rows)
{
    enum { Outside, Header, Rows } state = Outside;
    for (const auto& line : lines) {
        if (rows.size() == kMemoryTablePlaces)
            break;
        if (line == kMemoryBegin) {
            state = Header;
        } else if (line == kMemoryEnd) {
            if (state == Rows)
                break;
            state = Outside;
        } else if (state == Header) {
            const auto f = Fields(line);
            if (f.size() == 4 && InRange(f, key[0], key[2], key[1]))
                state = Rows;
        } else if (state == Rows) {
            auto f = Fields(line);
            f.resize(MemoryItem::kFields);
            for (auto& field : f)
                field = GbkToUtf8(field);
            rows.push_back(f);
        }
    }
    return static_cast<int>(rows.size());
}

int ExpectedProfile(const std::vector<std::string>& lines, const ModelKey& key,
                    DebugProfile& profile)
{
    bool inSection = false;
    for (const auto& line : lines) {
        if (line == kDebugEnd)
            break;
        if (line == kDebugBegin) {
            inSection = true;
            continue;
        }
        if (!inSection)
            continue;
        const auto f = Fields(line);
        if (f.size() != 9 || !InRange(f, key[0], key[2], key[1]))
            continue;
        profile = {Number(f[4]), Number(f[5]), Number(f[6]), Number(f[7]), Number(f[8])};
        return 1;
    }
    return 0;
}

// The file every run writes, removed when the process ends.
struct ScratchFile {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("fuzz-catalogue-" + std::to_string(::getpid()) + ".log"))
                           .string();
    ~ScratchFile() { std::remove(path.c_str()); }
};

const std::string& CataloguePath()
{
    static const ScratchFile file;
    return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 10)
        return 0;
    ModelKey key;
    std::copy(data, data + 9, key.begin());
    std::string file(static_cast<size_t>(data[9] % 80) * 1024, 'x');
    file.append(reinterpret_cast<const char*>(data + 10), size - 10);
    {
        std::ofstream out(CataloguePath(), std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        FUZZ_CHECK(out.good(), "can't write %s", CataloguePath().c_str());
    }
    const auto lines = Lines(file);
    ModelCatalogue catalogue(CataloguePath());

    const std::string name = catalogue.LookupModelName(key);
    FUZZ_CHECK(ValidUtf8(name), "model name is not UTF-8");
    FUZZ_CHECK(name == ExpectedName(lines, key), "model name '%s'", name.c_str());

    // Places the lookup does not fill keep what they held.
    static const std::string kUntouched = "\x01untouched";
    MemoryTable items;
    for (auto& item : items)
        item.address = kUntouched;
    std::vector<std::vector<std::string>> rows;
    const int count = catalogue.LookupMemoryTable(items, key);
    FUZZ_CHECK(count == ExpectedTable(lines, key, rows), "table of %d rows, expected %zu",
               count, rows.size());
    for (int i = 0; i < kMemoryTablePlaces; ++i) {
        MemoryItem& item = items[static_cast<size_t>(i)];
        if (i >= count) {
            FUZZ_CHECK(item.address == kUntouched, "place %d beyond the table was written", i);
            continue;
        }
        for (int f = 0; f < MemoryItem::kFields; ++f) {
            FUZZ_CHECK(ValidUtf8(item.Field(f)), "row %d field %d is not UTF-8", i, f);
            FUZZ_CHECK(item.Field(f) == rows[static_cast<size_t>(i)][static_cast<size_t>(f)],
                       "row %d field %d", i, f);
        }
    }

    DebugProfile profile{1, 2, 3, 4, 5}, expectedProfile{1, 2, 3, 4, 5};
    const int found = catalogue.LookupDebugProfile(key, profile);
    FUZZ_CHECK(found == ExpectedProfile(lines, key, expectedProfile), "profile found %d", found);
    FUZZ_CHECK(profile.feedbackFirst == expectedProfile.feedbackFirst &&
                   profile.feedbackLast == expectedProfile.feedbackLast &&
                   profile.torqueAddress == expectedProfile.torqueAddress &&
                   profile.positionDivisor == expectedProfile.positionDivisor &&
                   profile.speedFactor == expectedProfile.speedFactor,
               "profile values (an unfound profile stays untouched)");
    return 0;
}
