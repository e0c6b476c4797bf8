// Parameter files on Windows: a save replaces an existing file whole (a rename over a file
// that exists, which Windows refuses unless asked to replace), and a failed save leaves the
// old file as it was with no temporary file behind.
#include "TempFolderFixture.h"
#include "servo/ParameterFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using Bytes = std::vector<uint8_t>;

class WindowsParameterFile : public TempFolderFixture {
protected:
    void SetUp() override
    {
        TempFolderFixture::SetUp();
        path = (dir / "servo.dat").string();
    }

    static Bytes Read(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    int FilesInFolder() const
    {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir), {}));
    }

    std::string path;
};

TEST_F(WindowsParameterFile, SavingReplacesAnExistingFileWhole)
{
    ASSERT_TRUE(SaveParameterFile(path, Bytes(100, 0xEE)));
    const Bytes shorter = {0x00, 0x0D, 0x0A, 0x1A, 0xFF};  // no text-mode translation
    ASSERT_TRUE(SaveParameterFile(path, shorter));
    EXPECT_EQ(Read(path), shorter);
    EXPECT_EQ(FilesInFolder(), 1);
}

TEST_F(WindowsParameterFile, AFileHeldElsewhereStaysAsItWas)
{
    const Bytes old(40, 0x22);
    ASSERT_TRUE(SaveParameterFile(path, old));
    // A reader that lets others read and write, but not delete or rename the file.
    const HANDLE holder = ::CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(SaveParameterFile(path, Bytes(10, 0x33)));
    ::CloseHandle(holder);
    EXPECT_EQ(Read(path), old);
    EXPECT_EQ(FilesInFolder(), 1);  // no temporary file left
}

TEST_F(WindowsParameterFile, MissingFoldersAndBackslashNames)
{
    EXPECT_FALSE(SaveParameterFile((dir / "absent" / "x.dat").string(), {1, 2}));
    EXPECT_FALSE(std::filesystem::exists(dir / "absent"));

    const std::pair<const char*, const char*> names[] = {
        {"C:\\a\\servo", "C:\\a\\servo.dat"},
        {"C:\\a.b\\servo", "C:\\a.b\\servo.dat"},
        {"C:\\a\\servo.bin", "C:\\a\\servo.bin"},
    };
    for (const auto& [name, want] : names)
        EXPECT_EQ(WithDefaultSuffix(name, "dat"), want) << name;
}

}  // namespace
