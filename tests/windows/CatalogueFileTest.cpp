// The catalogue file on Windows: opened without sharing, so a file another program holds
// open, a read-only file, a folder or a device gives the not-found results.
#include "catalogue/CatalogueFixture.h"

#include <windows.h>

namespace {

const std::vector<std::string> kSmall = {"[型号]", "1,0,255,0,One", "[型号结束]"};
const ModelKey kOne = Key({1, 0, 0, 1, 0});

class WindowsCatalogueFile : public CatalogueFixture {};

TEST_F(WindowsCatalogueFile, HeldOpenElsewhereGivesNotFoundUntilReleased)
{
    WriteLines(kSmall);
    ModelCatalogue cat(path);
    EXPECT_EQ(cat.LookupModelName(kOne), "One");
    // Even a reader that shares everything holds the file open.
    for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
        const HANDLE holder = ::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_EQ(cat.LookupModelName(kOne), kUnknownModel) << share;
        ::CloseHandle(holder);
        EXPECT_EQ(cat.LookupModelName(kOne), "One") << share;
    }
}

TEST_F(WindowsCatalogueFile, FoldersDevicesAndMissingFilesGiveNotFound)
{
    for (const std::string& name : {dir.string(), std::string("NUL"), std::string("CON"),
                                    (dir / "absent.log").string()})
        EXPECT_EQ(ModelCatalogue(name).LookupModelName(kOne), kUnknownModel) << name;
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.log"));  // never created
}

TEST_F(WindowsCatalogueFile, ReadOnlyFileGivesNotFound)
{
    WriteLines(kSmall);
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const HANDLE writer =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool enforced = writer == INVALID_HANDLE_VALUE;
    if (enforced)
        EXPECT_EQ(ModelCatalogue(path).LookupModelName(kOne), kUnknownModel);
    else
        ::CloseHandle(writer);
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ModelCatalogue(path).LookupModelName(kOne), "One");
    if (!enforced)
        GTEST_SKIP() << "this system lets a read-only file open for writing (wine run as root)";
}

}  // namespace
