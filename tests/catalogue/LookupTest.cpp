// The catalogue's matching and format rules, on files the tests write.
#include "CatalogueFixture.h"

namespace {

using Lines = std::vector<std::string>;

class ModelNames : public CatalogueFixture {};

TEST_F(ModelNames, FirstMatchingRowWins)
{
    WriteLines({"text before", "[型号]", "1,0,255,0,一号", "1,0,255,0,Second", "2,5,9,1,Ranged",
                "[型号结束]"});
    ModelCatalogue cat(path);
    struct Case {
        ModelKey key;
        const char* name;
    } cases[] = {
        {Key({0, 0, 0, 1, 77}), "一号"},
        {Key({0, 0, 1, 1, 77}), kUnknownModel},  // byte order differs
        {Key({0, 0, 1, 2, 5}), "Ranged"},
        {Key({0, 0, 1, 2, 9}), "Ranged"},
        {Key({0, 0, 1, 2, 10}), kUnknownModel},
        {Key({0, 0, 1, 2, 4}), kUnknownModel},
        {Key({0, 0, 0, 3, 0}), kUnknownModel},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cat.LookupModelName(c.key), c.name) << int(c.key[3]) << "/" << int(c.key[4]);
}

TEST_F(ModelNames, RowShapeDecidesTheName)
{
    WriteLines({"[型号]", "1,0,255", "1,0,255,0,A,B", "1,0,255,0,Later", "[型号结束]"});
    ModelCatalogue cat(path);
    // The short row matches nothing; the row with a comma in its name ends the reading.
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 1, 0})), kUnknownModel);

    WriteLines({"[型号]", "1,0,255,0,", "[型号结束]"});
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 1, 0})), "");
}

TEST_F(ModelNames, NumbersConvertLikeCModulo256)
{
    WriteLines({"[型号]", "0x10,0,255,0,Hex", " -1,0,255,0,Minus", "300,0,255,0,Wrap",
                "+7abc,0,255,0,Trailing", "[型号结束]"});
    ModelCatalogue cat(path);
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 0, 0})), "Hex");
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 16, 0})), kUnknownModel);
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 255, 0})), "Minus");
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 44, 0})), "Wrap");
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 7, 0})), "Trailing");
}

TEST_F(ModelNames, MarkersMustStandExactlyInGbk)
{
    ModelCatalogue cat(path);
    const ModelKey key = Key({0, 0, 0, 1, 0});
    WriteLines({"[型号] ", "1,0,255,0,Spaced", "[型号结束]"});
    EXPECT_EQ(cat.LookupModelName(key), kUnknownModel);
    WriteRaw("[型号]\n1,0,255,0,Utf8\n[型号结束]\n");  // the markers in UTF-8
    EXPECT_EQ(cat.LookupModelName(key), kUnknownModel);
    WriteLines({"[型号]", "1,0,255,0,Crlf", "[型号结束]"}, "\r\n");
    EXPECT_EQ(cat.LookupModelName(key), "Crlf");
    WriteRaw(Utf8ToGbk("[型号]\r\n1,0,255,0,Last line"));  // no end
    EXPECT_EQ(cat.LookupModelName(key), "Last line");
}

TEST_F(ModelNames, OnlyTheFirstSectionCounts)
{
    WriteLines({"[型号]", "2,0,255,0,Two", "[型号结束]", "[型号]", "1,0,255,0,One", "[型号结束]"});
    ModelCatalogue cat(path);
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 1, 0})), kUnknownModel);
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 2, 0})), "Two");
}

TEST_F(ModelNames, InvalidGbkInANameIsReplaced)
{
    WriteRaw(Utf8ToGbk("[型号]\n1,0,255,0,A") + "\x81\x20" + "B\n" + Utf8ToGbk("[型号结束]\n"));
    ModelCatalogue cat(path);
    EXPECT_EQ(cat.LookupModelName(Key({0, 0, 0, 1, 0})), "A\xEF\xBF\xBD B");
}

class MemoryTables : public CatalogueFixture {};

TEST_F(MemoryTables, TheMatchingBlockSuppliesTheRows)
{
    WriteLines({
        "[内存]", "1,0,255,0", "0,Other,1,0,-1,EPROM,只读,-1,-1", "NULL,,,,,,,,", "[内存结束]",
        "[内存]", "3,0,255,0,9", "0,Five fields,1,0,-1,EPROM,只读,-1,-1", "[内存结束]",
        "[内存]", "comment", "3,0,255,0",
        "5,锁标志,1,1,-1,SRAM,读写,0,1,extra,fields",
        "",
        "7,Short,2",
        "NULL,,,,,,,,", "[内存结束]",
        "[内存]", "3,0,255,0", "9,Never,1,0,-1,EPROM,只读,-1,-1", "[内存结束]",
    });
    ModelCatalogue cat(path);
    MemoryTable items;
    items[2].maximum = "stale";
    ASSERT_EQ(cat.LookupMemoryTable(items, Key({3, 0, 0})), 4);
    EXPECT_EQ(items[0].address, "5");
    EXPECT_EQ(items[0].name, "锁标志");
    EXPECT_EQ(items[0].access, "读写");
    EXPECT_EQ(items[0].maximum, "1");
    EXPECT_EQ(items[1].address, "");  // the empty line is a row
    EXPECT_EQ(items[2].size, "2");
    EXPECT_EQ(items[2].maximum, "");
    EXPECT_EQ(items[3].address, "NULL");
    EXPECT_EQ(cat.LookupMemoryTable(items, Key({3, 0, 1})), 0);
    EXPECT_EQ(cat.LookupMemoryTable(items, Key({1, 200, 0})), 2);
    EXPECT_EQ(items[0].name, "Other");
}

// Markers are whole lines: one with a trailing blank opens nothing, so the table that
// follows it is not read as a section of its own.
TEST_F(MemoryTables, AMarkerWithATrailingBlankIsAnOrdinaryLine)
{
    WriteLines({"[内存] ", "1,0,255,0", "0,Decoy,1,0,-1,EPROM,只读,-1,-1", "[内存结束]",
                "[内存]", "1,0,255,0", "0,Real,1,0,-1,EPROM,只读,-1,-1", "[内存结束]"});
    ModelCatalogue cat(path);
    MemoryTable items;
    ASSERT_EQ(cat.LookupMemoryTable(items, Key({1, 0, 0})), 1);
    EXPECT_EQ(items[0].name, "Real");
}

TEST_F(MemoryTables, ATableMayEndTheFileOrLackItsNullRow)
{
    WriteLines({"[内存]", "1,0,255,0", "0,A,1,0,-1,EPROM,只读,-1,-1", "1,B,1,0,-1,EPROM,只读,-1,-1"});
    ModelCatalogue cat(path);
    MemoryTable items;
    EXPECT_EQ(cat.LookupMemoryTable(items, Key({1, 0, 0})), 2);
    EXPECT_EQ(items[1].name, "B");
}

TEST_F(MemoryTables, HoldAtMost254Rows)
{
    Lines lines{"[内存]", "1,0,255,0"};
    for (int i = 0; i < 400; ++i)
        lines.push_back(std::to_string(i) + ",N,1,0,-1,SRAM,读写,0,1");
    lines.push_back("[内存结束]");
    WriteLines(lines);
    ModelCatalogue cat(path);
    MemoryTable items;
    EXPECT_EQ(cat.LookupMemoryTable(items, Key({1, 0, 0})), kMemoryTablePlaces);
    EXPECT_EQ(items[253].address, "253");
}

class DebugProfiles : public CatalogueFixture {};

TEST_F(DebugProfiles, NeedExactlyNineFieldsAndAnOrderedRange)
{
    WriteLines({"[调试]", "1,0,255,0,56,68,40,4,5,9", "2,9,3,0,56,68,40,4,5",
                "1,0,255,0,56,72,30,2,10", "1,0,255,0,1,2,3,4,5", "[调试结束]",
                "[调试]", "3,0,255,0,1,2,3,4,5", "[调试结束]"});
    ModelCatalogue cat(path);
    DebugProfile p{1, 2, 3, 4, 5};
    EXPECT_EQ(cat.LookupDebugProfile(Key({2, 5, 0}), p), 0);
    EXPECT_EQ(p.feedbackFirst, 1);  // untouched
    EXPECT_EQ(cat.LookupDebugProfile(Key({3, 5, 0}), p), 0);
    ASSERT_EQ(cat.LookupDebugProfile(Key({1, 5, 0}), p), 1);
    EXPECT_EQ(p.feedbackFirst, 56);
    EXPECT_EQ(p.feedbackLast, 72);
    EXPECT_EQ(p.torqueAddress, 30);
    EXPECT_EQ(p.positionDivisor, 2);
    EXPECT_EQ(p.speedFactor, 10);
}

TEST(Patterns, RangeAboveItsEndMatchesNothing)
{
    const KeyPattern inverted{1, 9, 3, 0};
    for (int b = 0; b < 256; ++b) {
        EXPECT_FALSE(ModelCatalogue::MatchTablePattern(inverted, Key({1, b, 0})));
        EXPECT_FALSE(ModelCatalogue::MatchModelPattern(inverted, Key({0, 0, 0, 1, b})));
    }
    EXPECT_TRUE(ModelCatalogue::MatchTablePattern({1, 0, 255, 0}, Key({1, 255, 0})));
}

}  // namespace
