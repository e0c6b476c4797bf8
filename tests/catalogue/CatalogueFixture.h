#pragma once
// Writes catalogue files for a test, in GBK, from UTF-8 lines.

#include "catalogue/GbkText.h"
#include "catalogue/ModelCatalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

class CatalogueFixture : public testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::path(testing::TempDir()) /
              ("catalogue-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / "setup.log").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

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

    std::filesystem::path dir;
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
