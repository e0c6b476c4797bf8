// servoctl monitor against the virtual bus: its lines and rows, the range it polls, polls
// without an answer, its exit status, and its end on a signal.
#include "CtlFixture.h"

#include <csignal>
#include <cstdio>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class Monitor : public CtlFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        AddServo(2, kHeron);
        AddServo(6, kKestrel, -1, {{0, 99}});  // no debug settings in the catalogue
        StartServing();
    }

    int Run(std::vector<std::string> args)
    {
        const int status = RunCtl(std::move(args), "30");
        Settle();
        return status;
    }
};

TEST_F(Monitor, TextLinesShowThePagesTexts)
{
    bus->SetFaultBits(1, 0x0A);
    NextStep();
    ASSERT_EQ(Run({"monitor", "1", "--count", "3", "--interval", "20"}), 0) << err.str();
    const auto lines = OutLines();
    ASSERT_EQ(lines.size(), 3u);
    const std::regex line(
        "位置:2047 速度:0 扭力:0 电压:[0-9]+\\.[0-9] V 温度:28 度 移动:0 电流:0 目标:2047 "
        "状态:过流 传感器出错");
    for (const auto& l : lines)
        EXPECT_TRUE(std::regex_match(l, line)) << l;
    // The identification read, then the model's feedback range (56..72).
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], "FF FF 01 04 02 00 09 EF");
    EXPECT_EQ(sent[1], "FF FF 01 04 02 38 11 AF");
}

TEST_F(Monitor, CsvRowsAreDecodedButNotScaled)
{
    // The high-byte-first model whose positions are divided by 4 and speeds scaled by 0.5,
    // moving at its commanded speed from the start (the plain motion: a body gets there).
    bus->SetMotion(SimMotion::Plain);
    bus->SetMemory(2, 40, 1);
    ASSERT_EQ(Run({"--byte-order", "1", "--status-level", "0", "move", "2", "900", "--speed", "100"}), 0)
        << err.str();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    bus->ClearLog();
    ASSERT_EQ(Run({"monitor", "2", "--count", "4", "--interval", "60", "--csv"}), 0) << err.str();
    const auto rows = OutLines();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0],
              "time_ms,position,speed,load,voltage,temperature,moving,current,target,fast_slow,status");
    const std::regex row("([0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),([0-9]+\\.[0-9]),([0-9]+),"
                         "([01]),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),0x00");
    long long previous = -1;
    bool movingSeen = false;
    for (size_t i = 1; i < rows.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(rows[i], m, row)) << rows[i];
        const long long t = std::stoll(m[1]);
        if (i == 1) {
            EXPECT_EQ(t, 0);
        }
        EXPECT_GT(t, previous);
        previous = t;
        EXPECT_EQ(m[9], "900");  // target, not multiplied by the position divisor
        if (m[7] == "1") {
            movingSeen = true;
            EXPECT_EQ(std::abs(std::stoi(m[3])), 100);  // speed as read, no factor
        }
        // The model's range ends before current and fast/slow: they show zeros.
        EXPECT_EQ(m[8], "0");
        EXPECT_EQ(m[10], "0");
    }
    EXPECT_TRUE(movingSeen);
    EXPECT_EQ(Sent()[1], "FF FF 02 04 02 38 0D B2");
}

TEST_F(Monitor, UnansweredPollsAndTheExitStatus)
{
    // Without the identification read (options given), half the answers lost.
    bus->SetDropShare(0.5);
    ASSERT_EQ(Run({"--byte-order", "0", "--status-level", "1", "monitor", "1", "--count", "16",
                   "--interval", "5", "--csv"}),
              0)
        << err.str();
    int timeouts = 0, answered = 0;
    for (const auto& r : OutLines()) {
        if (std::regex_match(r, std::regex("[0-9]+,,,,,,,,,,timeout")))
            ++timeouts;
        else if (std::regex_match(r, std::regex("[0-9]+,2047,.*,0x00")))
            ++answered;
    }
    EXPECT_GT(timeouts, 0);
    EXPECT_GT(answered, 0);
    EXPECT_EQ(timeouts + answered, 16);

    bus->SetDropShare(0);
    ASSERT_EQ(Run({"--byte-order", "0", "--status-level", "1", "monitor", "7", "--count", "2",
                   "--interval", "5"}),
              1);
    EXPECT_EQ(out.str(), "状态:通信超时\n状态:通信超时\n");
    EXPECT_NE(err.str().find("servo 7"), std::string::npos);

    // No servo at the identification read: nothing polled.
    ASSERT_EQ(Run({"monitor", "7", "--count", "2"}), 1);
    EXPECT_EQ(out.str(), "");
}

TEST_F(Monitor, NoDebugSettingsMeansTheDefaultRange)
{
    ASSERT_EQ(Run({"monitor", "6", "--count", "1"}), 0) << err.str();
    EXPECT_EQ(Sent()[1], "FF FF 06 04 02 38 0D AE");
    EXPECT_EQ(OutLines().size(), 1u);
}

TEST_F(Monitor, BadArgumentsSendNothing)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"monitor", "254"}, {"monitor", "1", "--count", "0"},
          {"monitor", "1", "--interval", "-1"}, {"monitor", "1", "--duration", "0"},
          {"monitor", "1", "--motion"}, {"monitor", "x"}}) {
        bus->ClearLog();
        EXPECT_EQ(Run(args), 2) << args[1];
        EXPECT_TRUE(Sent().empty());
    }
}

TEST_F(Monitor, EndsCleanlyOnSignals)
{
    for (int signal : {SIGTERM, SIGINT}) {
        int pipeFd[2];
        ASSERT_EQ(::pipe(pipeFd), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(pipeFd[1], 1);
            ::execl(SERVOCTL, SERVOCTL, "-p", bus->DevicePath().c_str(), "-t", "30",
                    "--catalogue", catalogueFile.c_str(), "monitor", "1", "--interval", "20",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipeFd[1]);
        FILE* in = ::fdopen(pipeFd[0], "r");
        char line[512] = {};
        ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
        ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
        EXPECT_EQ(std::string(line).rfind("位置:2047 ", 0), 0u) << line;
        ::kill(pid, signal);
        std::string rest;
        while (std::fgets(line, sizeof line, in))
            rest += line;
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 0) << signal;
        EXPECT_TRUE(rest.empty() || rest.back() == '\n');  // no line cut short
        std::fclose(in);
    }
}

}  // namespace

TEST_F(Monitor, BackToBackRowsKeepMicroseconds)
{
    // The whole block, and the motion fields only: reads follow each other with nothing
    // between them, times rise in µs.
    const struct {
        const char* flag;
        const char* read;
        const char* row;
    } cases[] = {{nullptr, "FF FF 01 04 02 38 11 AF", "[0-9]+,.*,0x00"},
                 {"--motion", "FF FF 01 04 02 38 06 BA", "2047,0,0,,,,,,,"}};
    for (const auto& c : cases) {
        std::vector<std::string> args = {"monitor", "1", "--interval", "0", "--count", "50", "--csv"};
        if (c.flag)
            args.push_back(c.flag);
        bus->ClearLog();
        ASSERT_EQ(Run(args), 0) << err.str();
        const auto rows = OutLines();
        ASSERT_EQ(rows.size(), 51u);
        double previous = -1;
        for (size_t i = 1; i < rows.size(); ++i) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(rows[i], m, std::regex(std::string("([0-9]+\\.[0-9]{3}),") + c.row)))
                << rows[i];
            EXPECT_GT(std::stod(m[1]), previous);
            previous = std::stod(m[1]);
        }
        const auto sent = Sent();
        ASSERT_EQ(sent.size(), 51u);
        for (size_t i = 1; i < sent.size(); ++i)
            EXPECT_EQ(sent[i], c.read);
    }
}
