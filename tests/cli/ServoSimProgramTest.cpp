// The servo-sim program: prints its device, links it, serves servoctl, ends on SIGTERM.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string RunCapture(const std::string& command, int& status)
{
    std::string text;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[256];
    while (p && std::fgets(buf, sizeof buf, p))
        text += buf;
    status = p ? ::pclose(p) : -1;
    return text;
}

TEST(ServoSimProgram, ServesUntilTerminated)
{
    const std::string link = testing::TempDir() + "/servobus-" + std::to_string(::getpid());
    const std::string log = link + ".log";
    int pipeFd[2];
    ASSERT_EQ(::pipe(pipeFd), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFd[1], 1);
        ::execl(SERVO_SIM, SERVO_SIM, "--catalogue", SERVO_SOURCE_DIR "/data/setup.log",
                "--link", link.c_str(), "--log", log.c_str(), "--servo", "3:Osprey-40H",
                "--servo", "4:Kestrel-12:0", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFd[1]);
    char line[256] = {};
    FILE* in = ::fdopen(pipeFd[0], "r");
    ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
    EXPECT_EQ(std::string(line).rfind("/dev/pts/", 0), 0u) << line;
    EXPECT_TRUE(std::filesystem::is_symlink(link));

    int status = 0;
    const std::string ctl = std::string(SERVOCTL) + " -p " + link + " -t 30 --catalogue " +
                            SERVO_SOURCE_DIR "/data/setup.log ";
    EXPECT_EQ(RunCapture(ctl + "scan --to 5", status), "3\tOsprey-40H\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RunCapture(ctl + "read 3 0 2", status), "09 01\n");
    RunCapture(ctl + "read 4 0 2 2>/dev/null", status);
    EXPECT_EQ(WEXITSTATUS(status), 1);

    ::kill(pid, SIGTERM);
    int simStatus = 0;
    ASSERT_EQ(::waitpid(pid, &simStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(simStatus));
    EXPECT_EQ(WEXITSTATUS(simStatus), 0);
    EXPECT_FALSE(std::filesystem::exists(link));
    EXPECT_TRUE(std::filesystem::file_size(log) > 0);
    std::fclose(in);
    std::filesystem::remove(log);
}

TEST(ServoSimProgram, RefusesAnUnknownModel)
{
    int status = 0;
    RunCapture(std::string(SERVO_SIM) + " --catalogue " SERVO_SOURCE_DIR "/data/setup.log "
               "--servo 1:Nothing 2>/dev/null",
               status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
