#pragma once
// Writes catalogue files for a test, in GBK, from UTF-8 lines.

#include "TempFolderFixture.h"
#include "catalogue/GbkText.h"
#include "catalogue/ModelCatalogue.h"

#include <fstream>
#include <string>
#include <vector>

class CatalogueFixture : public TempFolderFixture {
protected:
    void SetUp() override
    {
        TempFolderFixture::SetUp();
        path = (dir / "setup.log").string();
    }

    void WriteLines(const std::vector<std::string>& lines, const char* eol = "\n")
    {
        std::string text;
        for (const auto& l : lines)
            text += Utf8ToGbk(l) + eol;
        WriteRaw(text);
    }
    void WriteRaw(const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }

    std::string path;
};

inline ModelKey Key(std::initializer_list<int> bytes)
{
    ModelKey k{};
    size_t i = 0;
    for (int b : bytes)
        k[i++] = static_cast<uint8_t>(b);
    return k;
}
