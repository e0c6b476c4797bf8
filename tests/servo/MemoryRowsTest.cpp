// How the programming page reads a memory table: its end, its size, the lock flag, the EPROM
// block, value decoding and the fault text.
#include "servo/MemoryRows.h"

#include <gtest/gtest.h>

namespace {

MemoryItem Item(std::string address, std::string name, std::string size,
                std::string signBit = "-1", std::string area = "EPROM",
                std::string access = "读写")
{
    MemoryItem m;
    m.address = std::move(address);
    m.name = std::move(name);
    m.size = std::move(size);
    m.signBit = std::move(signBit);
    m.area = std::move(area);
    m.access = std::move(access);
    m.minimum = m.maximum = "-1";
    return m;
}

}  // namespace

TEST(DecodeRow, EdgeCases)
{
    struct Case {
        const char* what;
        MemoryItem item;
        std::vector<uint8_t> bytes;  // at address 10
        bool highFirst;
        int memorySize;
        std::optional<std::string> shown;
    } cases[] = {
        {"sign bit 15", Item("10", "v", "2", "15"), {0x05, 0x80}, false, 20, "-5"},
        {"unsigned", Item("10", "v", "2"), {0x05, 0x80}, false, 20, "32773"},
        {"high byte first", Item("10", "v", "2", "15"), {0x80, 0x05}, true, 20, "-5"},
        {"low first 05 01", Item("10", "v", "2"), {0x05, 0x01}, false, 20, "261"},
        {"high first 05 01", Item("10", "v", "2"), {0x05, 0x01}, true, 20, "1281"},
        {"sign bit 11", Item("10", "v", "2", "11"), {0x05, 0x08}, false, 20, "-5"},
        {"sign bit clear", Item("10", "v", "2", "15"), {0x05, 0x00}, false, 20, "5"},
        {"byte", Item("10", "v", "1"), {0xC8}, false, 20, "200"},
        {"signed byte", Item("10", "v", "1", "7"), {0x85}, false, 20, "-5"},
        {"placeholder", Item("10", "--", "1"), {0x01}, false, 20, std::nullopt},
        {"size 3", Item("10", "v", "3"), {0x01, 0x02, 0x03}, false, 20, std::nullopt},
        {"word at the end", Item("10", "v", "2"), {0x01, 0x02}, false, 11, std::nullopt},
        {"word just inside", Item("10", "v", "2"), {0x01, 0x02}, false, 12, "513"},
        {"address past the image", Item("300", "v", "1"), {}, false, 255, std::nullopt},
    };
    for (const auto& c : cases) {
        MemoryImage image{};
        for (size_t i = 0; i < c.bytes.size(); ++i)
            image[10 + i] = c.bytes[i];
        EXPECT_EQ(DecodeRow(c.item, image, c.memorySize, c.highFirst), c.shown) << c.what;
    }
}

TEST(DecodeRows, UseTheByteOrderOfAddress2AndStopAtTheMemorySize)
{
    const std::vector<MemoryItem> rows = {Item("2", "order", "1"), Item("3", "--", "1"),
                                          Item("4", "w", "2"), Item("6", "last", "1"),
                                          Item("7", "at the end", "1"), Item("8", "after", "1")};
    MemoryImage image{};
    image[2] = 1;
    image[4] = 0x05;
    image[5] = 0x01;
    image[6] = 9;
    image[7] = 42;
    const auto values = DecodeRows(rows, image, 7);
    const std::vector<std::pair<int, std::string>> expected = {
        {0, "1"}, {2, "1281"}, {3, "9"}, {4, "42"}};
    EXPECT_EQ(values, expected);
}

TEST(TableShape, EndSizeLockAndEpromBlock)
{
    MemoryTable items{};
    items[0] = Item("0", "a", "1");
    items[1] = Item("30", "b", "2");
    items[2] = Item("48", "锁标志", "1", "-1", "SRAM");
    items[3] = Item("70", "c", "2", "-1", "SRAM");
    items[4] = Item("NULL", "", "");
    items[5] = Item("100", "after", "1");
    const int n = TableRows(items, 6);
    ASSERT_EQ(n, 4);
    const std::vector<MemoryItem> rows(items.begin(), items.begin() + n);
    EXPECT_EQ(MemorySize(rows), 72);
    EXPECT_EQ(LockAddress(rows), 48);
    EXPECT_EQ(EpromBlockLength(rows), 32);

    // The first row may be the lock flag; a table without one has no lock.
    std::vector<MemoryItem> first = {Item("48", "锁标志", "1"), Item("49", "x", "1")};
    EXPECT_EQ(LockAddress(first), 48);
    EXPECT_EQ(LockAddress({Item("0", "a", "1")}), kNoLock);
    // Not EPROM from the first row: an empty parameter file.
    EXPECT_EQ(EpromBlockLength({Item("0", "a", "1", "-1", "SRAM"), Item("1", "b", "1")}), 0);
    EXPECT_EQ(MemorySize({}), 0);
}

TEST(TableShape, OversizedTablesAreCut)
{
    MemoryTable items{};
    for (int i = 0; i < kMemoryTablePlaces; ++i)
        items[static_cast<size_t>(i)] = Item(std::to_string(i), "x", "1");
    // No "NULL" row among all places: cut at 253 rows.
    EXPECT_EQ(TableRows(items, kMemoryTablePlaces), 253);
    items[253] = Item("NULL", "", "");
    EXPECT_EQ(TableRows(items, kMemoryTablePlaces), 253);
    EXPECT_EQ(TableRows(items, 10), 10);
    EXPECT_EQ(TableRows(items, 0), 0);
    items[0] = Item("NULL", "", "");
    EXPECT_EQ(TableRows(items, kMemoryTablePlaces), 0);

    // A last row that reaches past the image is held to it.
    EXPECT_EQ(MemorySize({Item("250", "x", "2")}), 252);
    EXPECT_EQ(MemorySize({Item("254", "x", "2")}), 255);
    EXPECT_EQ(MemorySize({Item("400", "x", "1")}), 255);
    EXPECT_EQ(EpromBlockLength({Item("254", "x", "9")}), 255);
    EXPECT_EQ(MemorySize({Item("-9", "x", "1")}), 0);
}

TEST(RowChoice, Writable)
{
    EXPECT_TRUE(RowWritable("读写"));
    EXPECT_FALSE(RowWritable("只读"));
    EXPECT_FALSE(RowWritable("--"));
}
