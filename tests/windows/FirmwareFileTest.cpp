// The firmware file on Windows: opened without sharing, so a file another program holds
// open, a read-only file, a folder or a device is not taken, and nothing is created.
#include "TempFolderFixture.h"
#include "servo/FirmwareFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::string kHex = ":020000000102FB\n:00000001FF\n";

class WindowsFirmwareFile : public TempFolderFixture {
protected:
    void SetUp() override
    {
        TempFolderFixture::SetUp();
        path = (dir / "up.hex").string();
        std::ofstream(path, std::ios::binary) << kHex;
    }
    void TearDown() override
    {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        TempFolderFixture::TearDown();
    }
    FirmwareLoad Load(const std::string& name) { return LoadFirmwareFile(name, image).status; }

    std::string path;
    FirmwareImage image;
};

TEST_F(WindowsFirmwareFile, HeldOpenElsewhereIsNotTakenUntilReleased)
{
    ASSERT_EQ(Load(path), FirmwareLoad::Loaded);
    ASSERT_EQ(image.length, 2u);
    // Even a reader that shares everything holds the file.
    for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
        const HANDLE holder = ::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Load(path), FirmwareLoad::CannotOpen) << share;
        EXPECT_EQ(image.length, 0u) << share;  // nothing left to send
        ::CloseHandle(holder);
        EXPECT_EQ(Load(path), FirmwareLoad::Loaded) << share;
    }
}

TEST_F(WindowsFirmwareFile, FoldersDevicesAndMissingFilesAreNotTaken)
{
    std::filesystem::create_directories(dir / "dir.hex");
    for (const std::string& name : {(dir / "dir.hex").string(), std::string("NUL.hex"),
                                    std::string("CON.bin"), std::string("NUL"),
                                    (dir / "absent.bin").string()})
        EXPECT_EQ(Load(name), name == "NUL" ? FirmwareLoad::FormatError : FirmwareLoad::CannotOpen)
            << name;
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.bin"));  // never created
}

TEST_F(WindowsFirmwareFile, BackslashPathsAndCrLfLines)
{
    std::ofstream(path, std::ios::binary) << ":020000000102FB\r\n:00000001FF\r\n";
    std::string backslashed = path;
    for (char& c : backslashed)
        if (c == '/')
            c = '\\';
    EXPECT_EQ(Load(backslashed), FirmwareLoad::Loaded);
    EXPECT_EQ(image.length, 2u);
    EXPECT_EQ(image.data[1], 0x02);
}

TEST_F(WindowsFirmwareFile, ReadOnlyFileIsNotTaken)
{
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const HANDLE writer =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool enforced = writer == INVALID_HANDLE_VALUE;
    if (enforced)
        EXPECT_EQ(Load(path), FirmwareLoad::CannotOpen);
    else
        ::CloseHandle(writer);
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Load(path), FirmwareLoad::Loaded);
    if (!enforced)
        GTEST_SKIP() << "this system lets a read-only file open for writing (wine run as root)";
}

}  // namespace
