// Firmware images: HEX records line by line, whole HEX and BIN files, and the block count.
#include "TempFolderFixture.h"
#include "servo/FirmwareFile.h"

#include <gtest/gtest.h>

#include <unistd.h>
// Windows holds files its own way: tests/windows/FirmwareFileTest.cpp tests that side.
#ifndef _WIN32
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int Parse(FirmwareImage& image, const std::string& line)
{
    return ParseHexRecord(image, line.data(), line.size());
}

// A correct data record of the given bytes at `address`.
std::string Record(uint16_t address, const Bytes& bytes, uint8_t type = 0)
{
    char head[16];
    std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(bytes.size()),
                  address, type);
    std::string line = head;
    unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8) + (address & 0xFF) + type;
    for (uint8_t b : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", b);
        line += two;
        sum += b;
    }
    char check[3];
    std::snprintf(check, sizeof check, "%02X", (256 - sum % 256) % 256);
    return line + check;
}

TEST(HexRecord, LinesAreJudgedAsTheLoaderExpects)
{
    struct Case {
        const char* what;
        std::string line;
        int result;
        uint32_t length;  // after the line, from an empty image
    } cases[] = {
        {"data record", ":0400000001020304F2", 1, 4},
        {"lower-case digits", ":04000000aabbccddee", 1, 4},
        {"count 0 with its checksum", ":0000000000", 1, 0},
        {"count 0, wrong checksum", ":0000000001", -1, 0},
        {"end of file", ":00000001FF", 1, 0},
        {"non-data record, wrong checksum", ":0200000480007A", 1, 0},
        {"unknown type", ":00000009AB", 1, 0},
        {"wrong checksum on data", ":0400000001020304F3", -1, 0},
        {"no colon", "0400000001020304F2", -1, 0},
        {"semicolon", ";0400000001020304F2", -1, 0},
        {"shorter than 11", ":00000001F", -1, 0},
        {"empty line", "", -1, 0},
        {"trailing space", ":0400000001020304F2 ", -1, 0},
        {"stray CR", ":0400000001020304F2\r", -1, 0},
        {"tab inside", ":04000000\t01020304F2", -1, 0},
        {"count larger than the line", ":0500000001020304F2", -1, 0},
        {"count smaller than the line", ":0300000001020304F2", -1, 0},
        {"non-hex in the address", ":04G0000001020304F2", -1, 0},
        {"non-hex in a data byte", ":040000000102030XF2", -1, 0},
        {"offset + count past 64 KiB", Record(0x7FFE, {1, 2, 3}), 1, 0x8001},
        {"at 0xFFFF folds to 0x7FFF", Record(0xFFFF, {9}), 1, 0x8000},
    };
    for (const auto& c : cases) {
        FirmwareImage image;
        EXPECT_EQ(Parse(image, c.line), c.result) << c.what;
        EXPECT_EQ(image.length, c.length) << c.what;
    }
}

TEST(HexRecord, BytesLandAtTheFoldedOffset)
{
    FirmwareImage image;
    ASSERT_EQ(Parse(image, Record(0x8000, Bytes(16, 0xAA))), 1);
    ASSERT_EQ(Parse(image, Record(0x0000, Bytes(16, 0xBB))), 1);  // the later record wins
    EXPECT_EQ(image.data[0], 0xBB);
    EXPECT_EQ(image.data[15], 0xBB);
    EXPECT_EQ(image.data[16], 0xFF);
    EXPECT_EQ(image.length, 16u);  // the highest byte stored, not 32 counted
    EXPECT_EQ(BlockCount(image.length), 1);

    ASSERT_EQ(Parse(image, Record(0x9234, {1, 2})), 1);
    EXPECT_EQ(image.data[0x1234], 1);
    EXPECT_EQ(image.data[0x1235], 2);
    EXPECT_EQ(image.length, 0x1236u);  // a gap is sent whole
}

TEST(HexRecord, ARejectedRecordHasStoredItsBytes)
{
    FirmwareImage image;
    EXPECT_EQ(Parse(image, ":0400100001020304E3"), -1);  // checksum should be E2
    EXPECT_EQ(image.data[0x10], 1);
    EXPECT_EQ(image.data[0x13], 4);
    EXPECT_EQ(image.length, 0u);
}

TEST(HexRecord, ExtendedAddressesAreNotApplied)
{
    FirmwareImage image;
    ASSERT_EQ(Parse(image, Record(0x0000, {0x00, 0x01}, 4)), 1);
    ASSERT_EQ(Parse(image, Record(0x8010, {0x55})), 1);
    ASSERT_EQ(Parse(image, Record(0x0020, {0x66})), 1);
    EXPECT_EQ(image.data[0x10], 0x55);
    EXPECT_EQ(image.data[0x20], 0x66);
}

TEST(BlockCount, CountsStartedBlocks)
{
    const std::pair<uint32_t, int> cases[] = {
        {0, 0}, {1, 1}, {64, 1}, {65, 2}, {128, 2}, {16384, 256}, {16385, 257}, {65536, 1024}};
    for (const auto& [length, blocks] : cases)
        EXPECT_EQ(BlockCount(length), blocks) << length;
}

class FirmwareFileTest : public TempFolderFixture {
protected:
    std::string Write(const std::string& name, const std::string& content)
    {
        const auto path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string WriteBin(const std::string& name, size_t size)
    {
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>(i * 13 + 5);
        return Write(name, content);
    }

    FirmwareImage image;
};

TEST_F(FirmwareFileTest, HexFilesLoadLineByLine)
{
    struct Case {
        const char* what;
        std::string content;
        FirmwareLoad status;
        int errorLine;
        uint32_t length;
    } cases[] = {
        {"LF lines", Record(0, {1, 2, 3}) + "\n" + Record(3, {4}) + "\n:00000001FF\n",
         FirmwareLoad::Loaded, 0, 4},
        {"CR LF lines", Record(0, {1, 2}) + "\r\n:00000001FF\r\n", FirmwareLoad::Loaded, 0, 2},
        {"no line end at the end", Record(0, {1}) + "\n:00000001FF", FirmwareLoad::Loaded, 0, 1},
        {"end-of-file record only", ":00000001FF\n", FirmwareLoad::Loaded, 0, 0},
        {"records after end of file", ":00000001FF\n" + Record(0, {7}) + "\n",
         FirmwareLoad::Loaded, 0, 1},
        {"blank line at the end", Record(0, {1}) + "\n:00000001FF\n\n",
         FirmwareLoad::FormatError, 3, 1},
        {"blank line inside", Record(0, {1}) + "\n\n" + Record(1, {2}) + "\n",
         FirmwareLoad::FormatError, 2, 1},
        {"a lone CR at the end", Record(0, {1}) + "\r", FirmwareLoad::FormatError, 1, 0},
        {"bad record stops the reading", Record(0, {1}) + "\nxyz\n" + Record(1, {2}) + "\n",
         FirmwareLoad::FormatError, 2, 1},
        {"empty file", "", FirmwareLoad::Loaded, 0, 0},
    };
    for (const auto& c : cases) {
        const auto result = LoadFirmwareFile(Write("a.hex", c.content), image);
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.errorLine, c.errorLine) << c.what;
        EXPECT_EQ(image.length, c.length) << c.what;
        if (c.status == FirmwareLoad::Loaded) {
            EXPECT_EQ(result.kind, kImageHex) << c.what;
        }
    }
    // Nothing of an earlier image survives a new load.
    ASSERT_EQ(LoadFirmwareFile(Write("b.hex", Record(0, Bytes(40, 0x11))), image).status,
              FirmwareLoad::Loaded);
    ASSERT_EQ(LoadFirmwareFile(Write("c.hex", Record(0, {0x22})), image).status,
              FirmwareLoad::Loaded);
    EXPECT_EQ(image.data[0], 0x22);
    EXPECT_EQ(image.data[1], 0xFF);
    EXPECT_EQ(image.length, 1u);
}

TEST_F(FirmwareFileTest, HexFilesLargerThanOneReadLoadWhole)
{
    // 2048 records of 16 bytes filling the 32 KiB that HEX offsets reach, CR LF lines: about
    // 92 KB, so lines straddle the reads.
    const uint32_t reach = 0x8000;
    std::string content;
    for (uint32_t at = 0; at < reach; at += 16) {
        Bytes bytes(16);
        for (uint32_t i = 0; i < 16; ++i)
            bytes[i] = static_cast<uint8_t>((at + i) * 7 + 3);
        content += Record(static_cast<uint16_t>(at), bytes) + "\r\n";
    }
    content += ":00000001FF\r\n";
    const auto result = LoadFirmwareFile(Write("big.hex", content), image);
    ASSERT_EQ(result.status, FirmwareLoad::Loaded) << result.errorLine;
    EXPECT_EQ(image.length, reach);
    for (uint32_t i = 0; i < reach; ++i)
        ASSERT_EQ(image.data[i], static_cast<uint8_t>(i * 7 + 3)) << i;

    // A bad record far into the file is reported by its line.
    content.replace(content.find(":107FF0"), 1, ";");
    EXPECT_EQ(LoadFirmwareFile(Write("bad.hex", content), image).errorLine, 2048);
}

TEST_F(FirmwareFileTest, BinFilesByTheirSize)
{
    struct Case {
        size_t size;
        FirmwareLoad status;
        uint32_t length;
        int blocks;
    } cases[] = {
        {0, FirmwareLoad::Loaded, 0, 0},
        {65, FirmwareLoad::Loaded, 65, 2},
        {65536, FirmwareLoad::Loaded, 65536, 1024},
        {65537, FirmwareLoad::FormatError, 0, 0},
    };
    for (const auto& c : cases) {
        const auto path = WriteBin("f" + std::to_string(c.size) + ".bin", c.size);
        const auto result = LoadFirmwareFile(path, image);
        EXPECT_EQ(result.status, c.status) << c.size;
        EXPECT_EQ(image.length, c.length) << c.size;
        EXPECT_EQ(BlockCount(image.length), c.blocks) << c.size;
        if (c.status == FirmwareLoad::Loaded) {
            EXPECT_EQ(result.kind, kImageBin);
            for (size_t i = 0; i < c.size; ++i)
                ASSERT_EQ(image.data[i], static_cast<uint8_t>(i * 13 + 5)) << i;
            if (c.size < FirmwareImage::kSize) {
                EXPECT_EQ(image.data[c.size], 0xFF);  // the rest of the last block
            }
        }
    }
}

TEST_F(FirmwareFileTest, NamesAndAccess)
{
    const std::string hex = Record(0, {1, 2});
    EXPECT_EQ(LoadFirmwareFile(Write("UP.HEX", hex), image).status, FirmwareLoad::Loaded);
    EXPECT_EQ(LoadFirmwareFile(WriteBin("x.Bin", 3), image).kind, kImageBin);
    EXPECT_EQ(LoadFirmwareFile(WriteBin("x.bin.HEX", 3), image).status,
              FirmwareLoad::FormatError);  // a HEX file by its last extension

    // A name that is neither: refused, and nothing is left to send.
    for (const char* name : {"fw.txt", "fw", "fw.hex.old", "dir.hex/fw"}) {
        std::filesystem::create_directories(dir / "dir.hex");
        ASSERT_EQ(LoadFirmwareFile(Write("ok.bin", "abc"), image).status, FirmwareLoad::Loaded);
        EXPECT_EQ(LoadFirmwareFile(Write(name, hex), image).status, FirmwareLoad::FormatError)
            << name;
        EXPECT_EQ(image.length, 0u) << name;
    }

    EXPECT_EQ(LoadFirmwareFile((dir / "missing.hex").string(), image).status,
              FirmwareLoad::CannotOpen);
    EXPECT_EQ(LoadFirmwareFile(dir.string() + "/dir.hex", image).status,
              FirmwareLoad::CannotOpen);  // a folder
#ifndef _WIN32
    const auto fifo = (dir / "pipe.hex").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LoadFirmwareFile(fifo, image).status, FirmwareLoad::CannotOpen);  // no hang

    // Another holder's lock keeps the file out; it loads once the lock is gone.
    const auto held = Write("held.bin", "abc");
    const int fd = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(LoadFirmwareFile(held, image).status, FirmwareLoad::CannotOpen);
    EXPECT_EQ(image.length, 0u);
    ::close(fd);
    EXPECT_EQ(LoadFirmwareFile(held, image).status, FirmwareLoad::Loaded);

    if (::geteuid() != 0) {  // root may write anything
        const auto readOnly = Write("ro.hex", hex);
        std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
        EXPECT_EQ(LoadFirmwareFile(readOnly, image).status, FirmwareLoad::CannotOpen);
    }
#endif
}

}  // namespace
