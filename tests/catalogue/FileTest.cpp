// Opening rules and files that are wrong in every way a hand-edited file can be.
#include "CatalogueFixture.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#endif

#include <random>
#include <thread>

namespace {

const std::vector<std::string> kSmall = {"[型号]", "1,0,255,0,One", "[型号结束]",
                                         "[内存]", "1,0,255,0", "0,A,1,0,-1,EPROM,只读,-1,-1",
                                         "NULL,,,,,,,,", "[内存结束]",
                                         "[调试]", "1,0,255,0,56,68,40,1,10", "[调试结束]"};
const ModelKey kOne = Key({1, 0, 0, 1, 0});

class CatalogueFile : public CatalogueFixture {
protected:
    void ExpectNothingFound(ModelCatalogue& cat)
    {
        MemoryTable items;
        DebugProfile p{};
        EXPECT_EQ(cat.LookupModelName(kOne), kUnknownModel);
        EXPECT_EQ(cat.LookupMemoryTable(items, kOne), 0);
        EXPECT_EQ(cat.LookupDebugProfile(kOne, p), 0);
    }
    void ExpectFound(ModelCatalogue& cat)
    {
        MemoryTable items;
        DebugProfile p{};
        EXPECT_EQ(cat.LookupModelName(kOne), "One");
        EXPECT_EQ(cat.LookupMemoryTable(items, kOne), 2);
        EXPECT_EQ(cat.LookupDebugProfile(kOne, p), 1);
    }
};

// Windows has no FIFOs or advisory locks; tests/windows covers its opening rules.
#ifndef _WIN32
TEST_F(CatalogueFile, MissingLockedOrSpecialFilesGiveNotFound)
{
    ModelCatalogue missing((dir / "absent.log").string());
    ExpectNothingFound(missing);
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.log"));  // never created

    ModelCatalogue folder(dir.string());
    ExpectNothingFound(folder);

    const std::string fifo = (dir / "fifo.log").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ModelCatalogue pipe(fifo);
    ExpectNothingFound(pipe);  // and does not wait for a writer

    WriteLines(kSmall);
    ModelCatalogue cat(path);
    ExpectFound(cat);
    const int holder = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    ExpectNothingFound(cat);
    ::close(holder);
    ExpectFound(cat);
}
#endif

TEST_F(CatalogueFile, IsResolvedAgainstTheWorkingDirectoryAtEachLookup)
{
    WriteLines(kSmall);
    const auto before = std::filesystem::current_path();
    ModelCatalogue cat;  // "setup.log"
    std::filesystem::current_path(dir);
    ExpectFound(cat);
    std::filesystem::current_path(before);
    std::filesystem::current_path(std::filesystem::path(testing::TempDir()));
    ExpectNothingFound(cat);
    std::filesystem::current_path(before);
}

TEST_F(CatalogueFile, NeverWritesTheFile)
{
    WriteLines(kSmall);
    const auto size = std::filesystem::file_size(path);
    const auto time = std::filesystem::last_write_time(path);
    ModelCatalogue cat(path);
    ExpectFound(cat);
    EXPECT_EQ(std::filesystem::file_size(path), size);
    EXPECT_EQ(std::filesystem::last_write_time(path), time);
}

TEST_F(CatalogueFile, GarbageNeverBreaksALookup)
{
    ModelCatalogue cat(path);
    std::mt19937 rng(7);
    std::string noise(1 << 20, '\0');
    for (auto& c : noise)
        c = static_cast<char>(rng());
    WriteRaw(noise);
    ExpectNothingFound(cat);

    // Sections that never end, rows of thousands of commas, tables without a NULL row.
    std::string commas(10000, ',');
    WriteLines({"[型号]", commas, "[内存]", "1,0,255,0", commas, commas, "[调试]", commas,
                "1,0,255,0,56,68,40,1," + commas});
    MemoryTable items;
    DebugProfile p{};
    EXPECT_EQ(cat.LookupModelName(kOne), kUnknownModel);
    // The table never ends, so every later line is one of its rows.
    EXPECT_EQ(cat.LookupMemoryTable(items, kOne), 5);
    EXPECT_EQ(items[0].address, "");
    EXPECT_EQ(items[2].address, "[调试]");
    EXPECT_EQ(cat.LookupDebugProfile(kOne, p), 0);

    // Invalid GBK inside the markers' lines and fields.
    WriteRaw(Utf8ToGbk("[内存]\n1,0,255,0\n") + "\xFF\xFF,\x81,\x80\x80\n" +
             Utf8ToGbk("[内存结束]\n"));
    EXPECT_EQ(cat.LookupMemoryTable(items, kOne), 1);
    EXPECT_EQ(items[0].address, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(CatalogueFile, AHundredMegabyteLineIsReadThrough)
{
    {
        std::ofstream out(path, std::ios::binary);
        out << Utf8ToGbk("[型号]\n");
        std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 100; ++i)
            out << chunk;
        out << "\n" << Utf8ToGbk("1,0,255,0,One\n[型号结束]\n");
    }
    ModelCatalogue cat(path);
    EXPECT_EQ(cat.LookupModelName(kOne), "One");
}

TEST_F(CatalogueFile, ConcurrentLookupsAllSucceed)
{
    WriteLines(kSmall);
    ModelCatalogue cat(path);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            MemoryTable items;
            for (int i = 0; i < 200; ++i) {
                DebugProfile p{};
                const bool ok = t == 0   ? cat.LookupModelName(kOne) == "One"
                                : t == 1 ? cat.LookupMemoryTable(items, kOne) == 2 &&
                                               items[0].name == "A"
                                         : cat.LookupDebugProfile(kOne, p) == 1 &&
                                               p.feedbackLast == 68;
                if (!ok)
                    ++wrong;
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
