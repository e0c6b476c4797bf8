// servoctl's programming commands against the virtual bus: the table as the page shows it,
// checked writes, parameter files and the resets; and a save/change/load round trip with
// the servo-sim and servoctl programs.
#include "CtlFixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>

namespace {

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ProgramCtl : public CtlFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        AddServo(2, kHeron);  // high byte first, answers no writes
        StartServing();
    }
    int Run(std::vector<std::string> args)
    {
        const int status = RunCtl(std::move(args));
        Settle();
        return status;
    }
    // The packets other than reads that the servos heard.
    std::vector<std::string> Writes() const
    {
        std::vector<std::string> w;
        for (const auto& s : Sent())
            if (s.substr(12, 2) != "02")
                w.push_back(s);
        return w;
    }
    std::string Temp(const std::string& name) const
    {
        return testing::TempDir() + "/ctl-" + std::to_string(::getpid()) + "-" + name;
    }
};

TEST_F(ProgramCtl, TableShowsTheRowsAsThePageDoes)
{
    bus->SetFaultBits(1, 0x09);
    NextStep();
    ASSERT_EQ(Run({"table", "1"}), 0) << err.str();
    std::istringstream lines(out.str());
    std::vector<std::string> all;
    for (std::string l; std::getline(lines, l);)
        all.push_back(l);
    ASSERT_EQ(all.size(), 48u + 2u);
    EXPECT_EQ(all[0], "0\t固件主版本号\t5\tEPROM\t只读");
    EXPECT_EQ(all[10], "11\t最大角度限制\t4095\tEPROM\t读写");
    EXPECT_EQ(all[15], "18\t--\t0\tEPROM\t只读");  // never decoded: its initial value
    EXPECT_EQ(all[48], "过压/欠压");
    EXPECT_EQ(all[49], "过流");

    ASSERT_EQ(Run({"table", "2"}), 0) << err.str();
    EXPECT_NE(out.str().find("11\t最大角度限制\t1023\tEPROM\t读写\n"), std::string::npos);
    EXPECT_EQ(out.str().substr(out.str().size() - 14), "\n舵机正常\n");

    EXPECT_EQ(Run({"table", "7"}), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(Run({"table", "254"}), 2);
}

TEST_F(ProgramCtl, SetChecksTheRangeAndWritesBehindTheLock)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
        std::vector<std::string> writes;
    } cases[] = {
        {{"set", "1", "13", "60"}, 0, "",
         {"FF FF 01 04 03 30 00 C7", "FF FF 01 04 03 0D 3C AE", "FF FF 01 04 03 30 01 C6"}},
        {{"set", "1", "最高温度上限", "101"}, 2, "最高温度上限不能大于100\n", {}},
        {{"set", "1", "13", "-1"}, 2, "最高温度上限不能小于0\n", {}},
        {{"set", "1", "位置校正", "-5"}, 0, "",
         {"FF FF 01 04 03 30 00 C7", "FF FF 01 05 03 1F 05 08 CA", "FF FF 01 04 03 30 01 C6"}},
        {{"set", "1", "加速度", "9"}, 0, "", {"FF FF 01 04 03 29 09 C5"}},
        {{"set", "1", "当前位置", "9"}, 2, "servoctl: 当前位置 (56) is read-only\n", {}},
        {{"set", "1", "没有", "9"}, 2, "servoctl: the memory table has no item 没有\n", {}},
        {{"set", "1", "13", "x"}, 2, "", {}},
        // Level 0, high byte first: the same sequence, no replies awaited.
        {{"set", "2", "16", "515"}, 0, "",
         {"FF FF 02 04 03 30 00 C6", "FF FF 02 05 03 10 02 03 E0", "FF FF 02 04 03 30 01 C5"}},
    };
    for (const auto& c : cases) {
        bus->ClearLog();
        EXPECT_EQ(Run(c.args), c.status) << c.args[2] << ": " << err.str();
        if (!c.err.empty()) {
            EXPECT_EQ(err.str(), c.err);
        }
        EXPECT_EQ(Writes(), c.writes) << c.args[2];
    }
    EXPECT_EQ(MemoryOf(1)[13], 60);
    EXPECT_EQ(MemoryOf(2)[16], 2);
    EXPECT_EQ(MemoryOf(2)[17], 3);
}

TEST_F(ProgramCtl, IdAndRateWritesTellWhereTheServoWent)
{
    ASSERT_EQ(Run({"set", "1", "ID", "12"}), 0) << err.str();
    EXPECT_EQ(err.str(), "servoctl: the servo is now ID 12 at 115200 baud\n");
    EXPECT_EQ(Writes().back(), "FF FF 0C 04 03 30 01 BB");  // the lock closes at the new ID
    ASSERT_EQ(Run({"set", "12", "6", "0"}), 0) << err.str();
    EXPECT_EQ(err.str(), "servoctl: the servo is now ID 12 at 1000000 baud\n");
    EXPECT_EQ(MemoryOf(12)[48], 1);  // the lock write reached it at its new rate
    EXPECT_EQ(Run({"-b", "1000000", "table", "12"}), 0);
}

TEST_F(ProgramCtl, SaveChangeLoadRoundTrip)
{
    const std::string file = Temp("kestrel.dat");
    ASSERT_EQ(Run({"save", "1", file}), 0) << err.str();
    const std::vector<uint8_t> saved = ReadFile(file);
    const ServoMemory before = MemoryOf(1);
    ASSERT_EQ(saved, std::vector<uint8_t>(before.begin(), before.begin() + 37));

    ASSERT_EQ(Run({"set", "1", "13", "61"}), 0);
    ASSERT_EQ(Run({"set", "1", "位置校正", "-7"}), 0);
    ASSERT_EQ(Run({"table", "1"}), 0);
    const std::string changed = out.str();
    EXPECT_NE(changed.find("31\t位置校正\t-7\t"), std::string::npos);

    bus->ClearLog();
    ASSERT_EQ(Run({"load", "1", file}), 0) << err.str();
    EXPECT_EQ(out.str(), "参数载入成功\n");
    EXPECT_EQ(err.str(), "servoctl: the servo is now ID 1 at 115200 baud\n");
    EXPECT_EQ(Writes().size(), 3u);
    const ServoMemory after = MemoryOf(1);
    EXPECT_EQ(std::vector<uint8_t>(after.begin(), after.begin() + 37), saved);
    ASSERT_EQ(Run({"save", "1", Temp("again.dat")}), 0);
    EXPECT_EQ(ReadFile(Temp("again.dat")), saved);

    EXPECT_EQ(Run({"load", "1", Temp("missing.dat")}), 2);
    EXPECT_EQ(err.str(), "无法打开参数文件: " + Temp("missing.dat") + "\n");
    EXPECT_EQ(Run({"save", "1", Temp("no-folder") + "/x.dat"}), 1);
    EXPECT_EQ(err.str(), "无法保存参数文件: " + Temp("no-folder") + "/x.dat\n");
    std::remove(file.c_str());
    std::remove(Temp("again.dat").c_str());
}

TEST_F(ProgramCtl, ResetsAndTheRiskNeedingConsent)
{
    EXPECT_EQ(Run({"reset-angle", "1"}), 0);
    EXPECT_EQ(out.str(), "角度重置成功，圈数清除，角度恢复单圈角度!\n");
    bus->ClearLog();
    EXPECT_EQ(Run({"risky", "1"}), 2);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Run({"risky", "1", "--yes"}), 0);
    EXPECT_EQ(Writes(), std::vector<std::string>{"FF FF 01 02 09 F3"});
    ASSERT_EQ(Run({"set", "2", "ID", "30"}), 0);
    EXPECT_EQ(Run({"restore", "30"}), 0);
    EXPECT_EQ(out.str(), "参数恢复成功\n");
    EXPECT_EQ(err.str(), "servoctl: the servo is now ID 1 at 115200 baud\n");
}

std::string RunCapture(const std::string& command, int& status)
{
    std::string text;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[512];
    while (p && std::fgets(buf, sizeof buf, p))
        text += buf;
    status = p ? ::pclose(p) : -1;
    return text;
}

TEST(ProgramCtlWithServoSim, SaveChangeLoadReadsBackIdentical)
{
    const std::string link = testing::TempDir() + "/program-bus-" + std::to_string(::getpid());
    const std::string file = link + ".dat";
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        ::execl(SERVO_SIM, SERVO_SIM, "--catalogue", SERVO_SOURCE_DIR "/data/setup.log",
                "--link", link.c_str(), "--servo", "3:Osprey-40H", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 100 && !std::filesystem::exists(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string ctl = std::string(SERVOCTL) + " -p " + link + " -t 50 --catalogue " +
                            SERVO_SOURCE_DIR "/data/setup.log ";
    int status = 0;
    const std::string table = RunCapture(ctl + "table 3", status);
    EXPECT_EQ(status, 0);
    RunCapture(ctl + "save 3 " + file, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::filesystem::file_size(file), 40u);  // its EPROM rows end with 39
    for (const char* change : {"set 3 13 66", "set 3 速度比例系数 20", "set 3 31 -- -300"}) {
        RunCapture(ctl + change, status);
        EXPECT_EQ(status, 0) << change;
    }
    EXPECT_NE(RunCapture(ctl + "table 3", status).find("31\t位置校正\t-300\t"), std::string::npos);
    EXPECT_EQ(RunCapture(ctl + "load 3 " + file + " 2>/dev/null", status), "参数载入成功\n");
    EXPECT_EQ(status, 0);
    // Back as it was, apart from the live feedback rows.
    const std::string back = RunCapture(ctl + "table 3", status);
    EXPECT_EQ(back.substr(0, back.find("\n40\t")), table.substr(0, table.find("\n40\t")));
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::remove(file.c_str());
}

}  // namespace
