// servoctl step against the virtual bus: its rows and CSV, its exit status, its refusals, and
// the swept value put back after SIGINT.
#include "CtlFixture.h"

#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kD = 22, kTorque = 40;

class Step : public CtlFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        StartServing();
    }
    std::string Temp() const { return testing::TempDir() + "/step-" + std::to_string(::getpid()) + ".csv"; }
};

std::vector<std::string> Cells(const std::string& row)
{
    std::vector<std::string> cells;
    std::stringstream in(row);
    for (std::string cell; std::getline(in, cell, ',');)
        cells.push_back(cell);
    return cells;
}

TEST_F(Step, SweepPrintsARowPerRunAndEverySample)
{
    const std::string csv = Temp();
    ASSERT_EQ(RunCtl({"step", "1", "--from", "2047", "--to", "2247", "--duration", "0.5", "--set",
                      "22=8,64", "--csv", csv}),
              0)
        << err.str();
    const auto rows = OutLines();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "run,addr22,dead_ms,rise_ms,overshoot_pct,settling_ms,steady_error_counts,"
                       "peak_load,peak_current");
    const auto low = Cells(rows[1]), high = Cells(rows[2]);
    ASSERT_EQ(low.size(), 9u);
    EXPECT_EQ(low[1], "8");
    EXPECT_GT(std::stod(low[4]), std::stod(high[4]));  // more D, less overshoot
    Settle();
    EXPECT_EQ(MemoryOf(1)[kD], 32);

    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line.rfind("run,addr22,time_ms,position,", 0), 0u) << line;
    std::map<std::string, int> perRun;
    while (std::getline(in, line))
        ++perRun[Cells(line)[0] + "," + Cells(line)[1]];
    EXPECT_EQ(perRun.size(), 2u);
    EXPECT_GT(perRun["1,8"], 20);
    EXPECT_GT(perRun["2,64"], 20);
    std::filesystem::remove(csv);
}

TEST_F(Step, ExitStatusAndRefusals)
{
    bus->SetLoad(300);  // far more than P alone can hold at the target
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"step", "1", "--from", "2047", "--to", "2247", "--duration", "0.3"}, 1, "never reached its target band"},
        {{"step", "1", "--to", "2247", "--set", "5=1,2"}, 2, "drives itself"},
        {{"step", "1", "--to", "2247", "--set", "22=8,255"}, 2, "不能大于"},
        {{"step", "1", "--to", "2247", "--set", "22=8,"}, 2, "--set wants"},
        {{"step", "1", "--to", "2247", "--duration", "0"}, 2, "--duration"},
        {{"step", "1", "--to", "40000"}, 2, "--to"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(RunCtl(c.args), c.status);
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        Settle();
        EXPECT_EQ(MemoryOf(1)[kD], 32);
        EXPECT_EQ(MemoryOf(1)[kTorque], 0);
    }
}

TEST_F(Step, InterruptRestoresTheSweptValue)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(SERVOCTL, SERVOCTL, "-p", bus->DevicePath().c_str(), "--catalogue", catalogueFile.c_str(),
                "step", "1", "--to", "2247", "--duration", "5", "--set", "22=8,16", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    WaitFor([&] { return MemoryOf(1)[kD] == 8 && MemoryOf(1)[kTorque] == 1; }, "the first swept value");
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    Settle();
    EXPECT_EQ(MemoryOf(1)[kD], 32);
    EXPECT_EQ(MemoryOf(1)[kTorque], 0);
}

}  // namespace
