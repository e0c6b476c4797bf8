// The catalogue that ships with the tool: every family is complete and consistent.
#include "CatalogueCopy.h"
#include "catalogue/ModelCatalogue.h"
#include "support/LeadingInt.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct Family {
    const char* name;
    ModelKey key;  // as a factory-new servo reports it (ID 1, baud code 4)
};

const Family kFamilies[] = {
    {"Kestrel-12", {5, 3, 0, 12, 1, 1, 4, 0, 1}},
    {"苍鹭 HR25", {7, 2, 1, 25, 0, 1, 4, 0, 0}},
    {"Osprey-40H", {9, 1, 0, 40, 2, 1, 4, 0, 1}},
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.name; }

class Shipped : public testing::TestWithParam<Family> {
protected:
    ModelCatalogue cat{CatalogueCopy("shipped")};
    void TearDown() override { std::filesystem::remove(cat.FileName()); }
};

TEST_P(Shipped, FamilyIsCompleteAndConsistent)
{
    const Family& f = GetParam();
    EXPECT_EQ(cat.LookupModelName(f.key), f.name);

    MemoryTable items;
    const int rows = cat.LookupMemoryTable(items, f.key);
    ASSERT_GE(rows, 10);
    const MemoryItem& end = items[static_cast<size_t>(rows - 1)];
    EXPECT_EQ(end.address, "NULL");
    const MemoryItem& last = items[static_cast<size_t>(rows - 2)];
    EXPECT_LE(LeadingInt(last.address) + LeadingInt(last.size), 255);

    // The identification bytes of the table's factory values are the family's own key.
    int lockRows = 0;
    bool signedRow = false;
    for (int i = 0; i + 1 < rows; ++i) {
        const MemoryItem& it = items[static_cast<size_t>(i)];
        const int a = LeadingInt(it.address);
        if (a <= 8) {
            EXPECT_EQ(LeadingInt(it.initialValue), f.key[static_cast<size_t>(a)]) << a;
        }
        EXPECT_TRUE(it.size == "1" || it.size == "2") << it.address;
        lockRows += it.name == "锁标志";
        signedRow = signedRow || it.signBit != "-1";
        if (i > 0) {
            EXPECT_GT(a, LeadingInt(items[static_cast<size_t>(i - 1)].address));
        }
    }
    EXPECT_EQ(items[0].address, "0");
    EXPECT_EQ(items[0].area, "EPROM");
    EXPECT_NE(items[0].name, "锁标志");
    EXPECT_EQ(lockRows, 1);
    EXPECT_TRUE(signedRow);

    DebugProfile p{};
    ASSERT_EQ(cat.LookupDebugProfile(f.key, p), 1);
    EXPECT_LE(p.feedbackFirst, p.feedbackLast);
    EXPECT_LE(p.feedbackLast - p.feedbackFirst + 1, 24);
    EXPECT_EQ(p.feedbackFirst + 9, 65);  // the fault flags sit at the status offset
    EXPECT_NE(p.positionDivisor, 0);
    EXPECT_NE(p.speedFactor, 0);
    EXPECT_LE(p.feedbackLast + 0, LeadingInt(last.address) + LeadingInt(last.size) - 1);
}

INSTANTIATE_TEST_SUITE_P(Families, Shipped, testing::ValuesIn(kFamilies),
                         [](const testing::TestParamInfo<Family>& info) {
                             return "Family" + std::to_string(info.index);
                         });

TEST(ShippedCatalogue, CoversBothByteOrdersAndStatusLevels)
{
    bool order[2] = {}, level[2] = {};
    for (const auto& f : kFamilies) {
        order[f.key[2] ? 1 : 0] = true;
        level[f.key[8] ? 1 : 0] = true;
    }
    EXPECT_TRUE(order[0] && order[1] && level[0] && level[1]);
}

}  // namespace
