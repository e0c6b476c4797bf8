// The communication test: its arithmetic and lines, the plan from the typed numbers, and
// passes on the virtual bus.
#include "BusFixture.h"
#include "servo/CommTest.h"

#include <atomic>
#include <thread>

namespace {

TEST(CommTestFigures, SpeedTruncatesBeforeTheDivisionBy1000)
{
    struct Case {
        int bytes;
        long long us;
        const char* text;
    } cases[] = {
        {81, 3000, "216.00"},    // 67 bytes read
        {81, 7000, "92.57"},     // 92 571 truncated
        {269, 10000, "215.20"},  // 255 bytes: the product needs 64 bits
        {267, 1, "2136000.00"},
        {81, 0, "648000.00"},    // under 1 µs counts as 1 µs
    };
    for (const auto& c : cases) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", CommSpeedKbps(c.bytes, c.us));
        EXPECT_STREQ(text, c.text) << c.bytes << " bytes in " << c.us << " us";
    }
}

TEST(CommTestFigures, Lines)
{
    EXPECT_EQ(AnsweredLine(3, 3000, 2, CommSpeedKbps(81, 3000)),
              "舵机ID:3  响应时间:3000us, 超时次数:2 通信速度:216.00kb/s\r\n");
    EXPECT_EQ(UnansweredLine(17, 50123, 9), "舵机ID:17  响应时间:50123us, 超时次数:9\r\n");
    EXPECT_EQ(TrafficText(0), "通信流量:0Byte");
    EXPECT_EQ(TrafficText(1377), "通信流量:1377Byte");
}

TEST(CommTestFigures, PlanFromTheTypedNumbers)
{
    struct Case {
        int from, to, start, end, timeout;
        bool ok;
        int planFrom, planTo, planStart, length, planTimeout;
    } cases[] = {
        {1, 17, 0, 66, 50, true, 1, 17, 0, 67, 50},
        {1, 300, 0, 66, 50, true, 1, 254, 0, 67, 50},      // to-ID above 254: 254
        {1, -4, 0, 66, 50, true, 1, -4, 0, 67, 50},        // empty passes
        {0, 254, 10, 10, 0, true, 0, 254, 10, 1, 1},       // time-out 0: 1 ms
        {1, 17, 0, 252, 50, true, 1, 17, 0, 253, 50},      // the longest reply
        {1, 17, 0, 253, 50, false, 1, 17, 0, 254, 50},     // one byte too many
        {1, 17, 0, 255, 50, false, 1, 17, 0, 256, 50},     // 256 travels as 0
        {1, 17, 66, 0, 50, false, 1, 17, 66, -65, 50},     // end below start
        {1, 17, 256 + 3, 256 + 10, 50, true, 1, 17, 3, 8, 50},  // modulo 256
    };
    for (const auto& c : cases) {
        CommTestPlan plan;
        EXPECT_EQ(PlanCommTest(c.from, c.to, c.start, c.end, c.timeout, plan), c.ok)
            << c.start << ".." << c.end;
        EXPECT_EQ(plan.from, c.planFrom);
        EXPECT_EQ(plan.to, c.planTo);
        EXPECT_EQ(plan.startAddress, c.planStart);
        EXPECT_EQ(plan.length, c.length);
        EXPECT_EQ(plan.timeoutMs, c.planTimeout);
    }
}

class CommTestBus : public BusFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        AddServo(3, kHeron);
        comm.SetTimeoutMs(30);
        StartBus();
    }
    std::vector<CommTestPass> Run(const CommTestPlan& plan, int passes)
    {
        std::vector<CommTestPass> done;
        running = true;
        RunCommTest(jobs, plan, counts, running, abort, [&](const CommTestPass& p) {
            done.push_back(p);
            if (static_cast<int>(done.size()) >= passes)
                running = false;
        });
        return done;
    }
    CommTestPlan Plan(int from, int to, int start = 0, int end = 66)
    {
        CommTestPlan plan;
        EXPECT_TRUE(PlanCommTest(from, to, start, end, 50, plan));
        return plan;
    }

    ServoBus jobs{comm};
    CommTestCounts counts;
    std::atomic<bool> running{false}, abort{false};
};

TEST_F(CommTestBus, CountsAnsweredAndUnansweredReads)
{
    const auto passes = Run(Plan(1, 3), 2);
    ASSERT_EQ(passes.size(), 2u);
    const auto& text = passes[1].text;
    EXPECT_NE(text.find("舵机ID:1  响应时间:"), std::string::npos);
    EXPECT_NE(text.find("通信速度:"), std::string::npos);
    EXPECT_NE(text.find("舵机ID:2  响应时间:"), std::string::npos);
    EXPECT_NE(text.find("us, 超时次数:2\r\n"), std::string::npos);  // ID 2's new count
    EXPECT_EQ(counts.timeouts[2], 2);
    EXPECT_EQ(counts.timeouts[1], 0);
    EXPECT_EQ(passes[0].traffic, 2 * 81);
    EXPECT_EQ(passes[1].traffic, 4 * 81);
    ASSERT_EQ(passes[1].samples.size(), 3u);
    EXPECT_TRUE(passes[1].samples[0].answered);
    EXPECT_FALSE(passes[1].samples[1].answered);
    EXPECT_EQ(passes[1].samples[2].bytes, 81);
    // The port's own time-out is in force again after the test.
    EXPECT_EQ(comm.TimeoutMs(), 30);

    // Counts survive a new test, until cleared.
    Run(Plan(2, 2), 1);
    EXPECT_EQ(counts.timeouts[2], 3);
    counts.Clear();
    EXPECT_EQ(counts.timeouts[2], 0);
    EXPECT_EQ(counts.traffic, 0);
}

TEST_F(CommTestBus, WholeMemoryReadsCountTheirBytes)
{
    const auto passes = Run(Plan(1, 1, 3, 255), 1);  // 253 bytes, the most a reply carries
    ASSERT_EQ(passes.size(), 1u);
    EXPECT_EQ(passes[0].traffic, 253 + 14);
    EXPECT_TRUE(passes[0].samples[0].answered);
}

TEST_F(CommTestBus, AnEmptyRangeRunsEmptyPasses)
{
    const auto passes = Run(Plan(5, 4), 3);
    ASSERT_EQ(passes.size(), 3u);
    for (const auto& p : passes) {
        EXPECT_TRUE(p.text.empty());
        EXPECT_EQ(p.traffic, 0);
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(CommTestBus, StopLetsThePassFinishAndAbortDoesNot)
{
    std::vector<CommTestPass> done;
    running = true;
    std::thread worker([&] {
        RunCommTest(jobs, Plan(1, 8), counts, running, abort,
                    [&](const CommTestPass& p) { done.push_back(p); });
    });
    while (counts.timeouts[4] == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    running = false;  // mid-pass
    worker.join();
    ASSERT_FALSE(done.empty());
    EXPECT_EQ(done.back().samples.size(), 8u);  // the last pass is whole

    done.clear();
    running = true;
    std::thread aborted([&] {
        RunCommTest(jobs, Plan(1, 200), counts, running, abort,
                    [&](const CommTestPass& p) { done.push_back(p); });
    });
    while (counts.timeouts[10] == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    abort = true;
    aborted.join();
    EXPECT_TRUE(done.empty());  // a window closing does not wait for the pass
}

TEST_F(CommTestBus, OtherReadsNeverInterleave)
{
    running = true;
    std::thread worker([&] {
        RunCommTest(jobs, Plan(1, 3), counts, running, abort, [](const CommTestPass&) {});
    });
    // Another user of the bus, as a search or a poll would be, with jobs of its own.
    int answered = 0;
    for (int i = 0; i < 30; ++i)
        answered += jobs.Run(JobKind::Poll, [](BusAccess& access) {
            uint8_t key[9];
            return access.protocol.ReadMemory(3, 0, key, 9).count == 9;
        });
    running = false;
    worker.join();
    EXPECT_EQ(answered, 30);
    EXPECT_EQ(counts.timeouts[1], 0);
    EXPECT_EQ(counts.timeouts[3], 0);
}

}  // namespace
