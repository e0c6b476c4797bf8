// The firmware transfer against the virtual bus's loader: what arrives, how blocks are
// numbered and repeated, how every failure ends, and that the port is always restored.
#include "BusFixture.h"
#include "servo/LoaderFrames.h"
#include "servo/UpgradeTransfer.h"
#include "serial/TtyLinux.h"

#include <atomic>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

class Transfer : public BusFixture {
protected:
    static constexpr int kRate = 115200;
    static constexpr int kTimeoutMs = 40;

    void StartWith(int id = 1, int baudCode = 4)
    {
        AddServo(id, kKestrel, baudCode);
        comm.SetTimeoutMs(kTimeoutMs);
        StartBus(kRate);
    }
    // An image of `size` bytes of a pattern.
    void Fill(uint32_t size, int32_t kind = kImageBin)
    {
        image.Clear();
        for (uint32_t i = 0; i < size; ++i)
            image.data[i] = static_cast<uint8_t>(i * 31 + i / 256);
        image.length = size;
        job.kind = kind;
        job.blockCount = BlockCount(size);
    }
    UpgradeResult Run()
    {
        acknowledged.clear();
        refused = 0;
        UpgradeReports reports;
        reports.acknowledged = [this](int block) { acknowledged.push_back(block); };
        reports.refused = [this](int) { ++refused; };
        job.image = &image;
        return jobs.Run(JobKind::Transfer,
                        [&](BusAccess& access) { return RunUpgrade(access, job, cancel, reports); });
    }
    // `inLoader`: the servo was left in its loader, which hears nothing at the servo's rate.
    void ExpectPortRestored(bool inLoader = false)
    {
        EXPECT_EQ(comm.TimeoutMs(), kTimeoutMs);
        EXPECT_EQ(comm.BaudRate(), kRate);
        EXPECT_EQ(tty::ReadRate(comm.Handle()), kRate);
        uint8_t key[9];
        EXPECT_EQ(servo.ReadMemory(1, 0, key, 9).count, inLoader ? 0 : 9);
    }
    std::vector<std::string> LoaderGroups() const
    {
        std::vector<std::string> lines;
        for (const auto& l : bus->LogLines())
            if (l.find("(loader)") != std::string::npos)
                lines.push_back(l.substr(2, l.size() - 2 - 9));
        return lines;
    }

    FirmwareImage image;
    UpgradeJob job = [] { UpgradeJob j; j.servoId = 1; j.kind = kImageBin; return j; }();
    ServoBus jobs{comm};
    std::atomic<bool> cancel{false};
    std::vector<int> acknowledged;
    int refused = 0;
};

TEST_F(Transfer, AnImageArrivesByteForByte)
{
    const std::string out = catalogueFile + ".image";
    bus->SetImageFile(out);
    StartWith();
    Fill(16500);  // 258 blocks, the last one short
    job.kind = kImageHex;
    const auto r = Run();
    ASSERT_EQ(r.outcome, UpgradeOutcome::Done) << r.stage << " " << r.block;
    EXPECT_EQ(r.blocksAcknowledged, 258);
    EXPECT_EQ(acknowledged.size(), 258u);
    EXPECT_TRUE(bus->LoaderComplete());
    Bytes expected(image.data.begin(), image.data.begin() + 258 * 64);
    EXPECT_EQ(bus->LoaderImage(), expected);
    std::ifstream in(out, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), expected);
    std::filesystem::remove(out);

    // What went on the wire: instruction 8 at the old rate, the unlock, the start byte, then
    // the blocks with their numbers, kind and trailer.
    const auto sent = Sent();
    EXPECT_EQ(sent.front(), "FF FF 01 02 08 F4");
    const auto groups = LoaderGroups();
    ASSERT_EQ(groups.size(), 2u + 258u);
    EXPECT_EQ(groups[0], "7E 5A A5 3C C3");
    EXPECT_EQ(groups[1], "01");
    EXPECT_EQ(groups[2].substr(0, 8), "01 FE 00");
    EXPECT_EQ(groups[2 + 255].substr(0, 8), "00 FF 00");  // block 256
    EXPECT_EQ(groups[2 + 256].substr(0, 8), "01 FE 00");  // block 257
    EXPECT_EQ(groups[2 + 256].substr(groups[2 + 256].size() - 2), "06");
    EXPECT_EQ(groups.back().substr(groups.back().size() - 2), "04");
    ExpectPortRestored();
}

TEST_F(Transfer, AllOnesBlockAndKindByte)
{
    StartWith();
    Fill(64);
    image.data.fill(0xFF);
    const auto r = Run();
    ASSERT_EQ(r.outcome, UpgradeOutcome::Done);
    const auto groups = LoaderGroups();
    ASSERT_EQ(groups.size(), 3u);
    // Number, complement, kind 1 (BIN), 64 × FF, CRC 27 8E, last-block trailer.
    std::string expected = "01 FE 01";
    for (int i = 0; i < 64; ++i)
        expected += " FF";
    expected += " 27 8E 04";
    EXPECT_EQ(groups[2], expected);
}

TEST_F(Transfer, ARefusedBlockGoesAgainUnchanged)
{
    StartWith();
    Fill(200);
    bus->RefuseNextBlocks(3);
    const auto r = Run();
    ASSERT_EQ(r.outcome, UpgradeOutcome::Done);
    EXPECT_EQ(refused, 3);
    EXPECT_EQ(acknowledged, (std::vector<int>{1, 2, 3, 4}));  // progress only on 0x06
    const auto groups = LoaderGroups();
    ASSERT_EQ(groups.size(), 2u + 4u + 3u);
    EXPECT_EQ(groups[2], groups[3]);
    EXPECT_EQ(groups[3], groups[4]);
    EXPECT_EQ(groups[4], groups[5]);
    EXPECT_EQ(bus->LoaderImage(), Bytes(image.data.begin(), image.data.begin() + 256));
}

TEST_F(Transfer, NoBlocksStillOpensTheLoader)
{
    StartWith();
    Fill(0);
    const auto r = Run();
    EXPECT_EQ(r.outcome, UpgradeOutcome::Done);
    EXPECT_EQ(LoaderGroups(), (std::vector<std::string>{"7E 5A A5 3C C3", "01"}));
    ExpectPortRestored(true);  // no last block: the loader waits on
}

TEST_F(Transfer, FailuresEndTheTransferAndRestoreThePort)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* stage;
        int block;
        bool inLoader;
    } cases[] = {
        // No servo 5 on the bus: nobody enters a loader, nobody answers the unlock.
        {"silent loader", [this] { job.servoId = 5; }, "unlock", 0, false},
        // The loader is there, but every answer is lost.
        {"lost answers", [this] { bus->SetDropShare(1.0); }, "unlock", 0, true},
        // A wrong answer byte to a block: not 0x06, not 0x15.
        {"wrong reply",
         [this] {
             // The loader is entered beforehand; then every answer comes back damaged (and the
             // transfer's own instruction is lost, which the armed loader does not need).
             servo.RequestUpgrade(1);
             Settle();
             bus->SetCorruptShare(1.0);
         },
         "block", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        StartWith();
        job.servoId = 1;
        Fill(300);
        c.arrange();
        const auto r = Run();
        EXPECT_EQ(r.outcome, UpgradeOutcome::Failed);
        EXPECT_EQ(r.stage, c.stage);
        EXPECT_EQ(r.block, c.block);
        EXPECT_TRUE(acknowledged.empty());
        bus->SetDropShare(0);
        bus->SetCorruptShare(0);
        ExpectPortRestored(c.inLoader);
    }
}

TEST_F(Transfer, AClosedPortFailsAtTheUnlock)
{
    StartWith();
    Fill(64);
    comm.Close();
    const auto r = Run();
    EXPECT_EQ(r.outcome, UpgradeOutcome::Failed);
    EXPECT_EQ(r.stage, "unlock");
    EXPECT_EQ(comm.TimeoutMs(), kTimeoutMs);
}

TEST_F(Transfer, CancelStopsAfterTheBlockInProgress)
{
    StartWith();
    Fill(64 * 50);
    UpgradeReports reports;
    int sentAfterCancel = 0;
    reports.acknowledged = [&](int block) {
        if (block == 5)
            cancel = true;
        if (block > 5)
            ++sentAfterCancel;
    };
    job.image = &image;
    const auto r = jobs.Run(JobKind::Transfer,
                            [&](BusAccess& access) { return RunUpgrade(access, job, cancel, reports); });
    EXPECT_EQ(r.outcome, UpgradeOutcome::Cancelled);
    EXPECT_EQ(r.blocksAcknowledged, 5);
    EXPECT_EQ(sentAfterCancel, 0);
    EXPECT_EQ(bus->LoaderBlocksAccepted(), 5);
    EXPECT_TRUE(bus->LoaderArmed());  // the servo stays in its loader, deaf at its rate
    ExpectPortRestored(true);

    // The way back: no upgrade instruction, the unlock at the loader's rate; the loader
    // starts over and takes the whole image, and the servo answers at its rate again.
    cancel = false;
    bus->ClearLog();
    job.inLoader = true;
    const auto again = Run();
    EXPECT_EQ(again.outcome, UpgradeOutcome::Done);
    EXPECT_EQ(bus->LoaderImage(), Bytes(image.data.begin(), image.data.begin() + 64 * 50));
    EXPECT_EQ(LoaderGroups().front(), "7E 5A A5 3C C3");
    EXPECT_EQ(Sent().front().rfind("7E 5A A5 3C C3", 0), 0u);  // nothing before the unlock
    ExpectPortRestored();
}

TEST_F(Transfer, IsOneJobFromInstructionToRestoredPort)
{
    StartWith();
    Fill(64 * 20);
    std::atomic<bool> running{true}, interleaved{false};
    std::thread other([&] {
        // Another user of the bus: while the transfer runs none of its jobs gets the bus.
        while (running) {
            jobs.Run(JobKind::Command, [&](BusAccess&) {
                if (bus->LoaderArmed() && !bus->LoaderComplete() && bus->LoaderBlocksAccepted() > 0)
                    interleaved = true;
            });
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const auto r = Run();
    running = false;
    other.join();
    EXPECT_EQ(r.outcome, UpgradeOutcome::Done);
    EXPECT_FALSE(interleaved);
}

}  // namespace
