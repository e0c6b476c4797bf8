// servoctl when the bus goes away under it: servo-sim --vanish-after closes its device as an
// unplugged adapter does, and --return-after brings it back under the same --link.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// servo-sim with the given options, serving one servo 3 under a link of its own.
class SimProcess {
public:
    explicit SimProcess(const std::string& options)
    {
        const std::string command = std::string(SERVO_SIM) + " --catalogue " SERVO_SOURCE_DIR
                                    "/data/setup.log --servo 3:Osprey-40H --link " + link + " " +
                                    options;
        pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", ("exec " + command + " >/dev/null 2>&1").c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~SimProcess() { ::kill(pid, SIGTERM), ::waitpid(pid, nullptr, 0); }
    // Waits until the link is there (or isn't), for at most 10 s.
    bool LinkIs(bool present) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::filesystem::exists(link) != present && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return std::filesystem::exists(link) == present;
    }
    // servoctl on the link; what it wrote to stdout and stderr, and its exit status.
    std::string Ctl(const std::string& args, int& status) const
    {
        const std::string command = std::string(SERVOCTL) + " -p " + link +
                                    " -t 30 --catalogue " SERVO_SOURCE_DIR "/data/setup.log " +
                                    args + " 2>&1";
        std::string text;
        FILE* p = ::popen(command.c_str(), "r");
        for (char buf[512]; p && std::fgets(buf, sizeof buf, p);)
            text += buf;
        status = p ? WEXITSTATUS(::pclose(p)) : -1;
        return text;
    }

    const std::string link = testing::TempDir() + "/vanishbus-" + std::to_string(::getpid()) +
                             testing::UnitTest::GetInstance()->current_test_info()->name();

private:
    pid_t pid = -1;
};

TEST(VanishCtl, MonitorSaysThePortIsGoneAndTheBusComesBackUnderItsName)
{
    SimProcess sim("--vanish-after 1000 --return-after 300");
    ASSERT_TRUE(sim.LinkIs(true));
    int status = 0;
    // Bounded, so that a loss that goes unseen fails the test instead of hanging it.
    const std::string text = sim.Ctl("monitor 3 --interval 20 --count 300", status);
    EXPECT_EQ(status, 1) << text;
    EXPECT_NE(text.find("状态:舵机正常"), std::string::npos) << text;
    EXPECT_NE(text.find("servoctl: servo 3: port gone"), std::string::npos) << text;
    // Back under the same name: the next command finds the servo as it was.
    ASSERT_TRUE(sim.LinkIs(true));
    EXPECT_EQ(sim.Ctl("read 3 0 2", status), "09 01\n");
    EXPECT_EQ(status, 0);
}

TEST(VanishCtl, FlashEndsNamingTheBlockWhereThePortWent)
{
    const std::string file = testing::TempDir() + "/vanish-" + std::to_string(::getpid()) + ".bin";
    std::ofstream(file, std::ios::binary) << std::string(64 * 1000, '\x5A');
    // Each answer held 3 ms: the transfer of 1000 blocks outlasts the second before the bus
    // goes.
    SimProcess sim("--delay 3 --vanish-after 1500");
    ASSERT_TRUE(sim.LinkIs(true));
    int status = 0;
    const std::string text = sim.Ctl("flash 3 " + file + " --no-backup", status);
    EXPECT_EQ(status, 1) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("升级失败 at block [0-9]+ of 1000 \\(port gone\\)")))
        << text;
    std::filesystem::remove(file);
}

}  // namespace
