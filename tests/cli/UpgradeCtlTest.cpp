// servoctl image, flash and commtest: against the virtual bus in this process, and as
// programs against servo-sim.
#include "CtlFixture.h"
#include "catalogue/GbkText.h"
#include "servo/LoaderFrames.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t size)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(i * 11 + i / 512);
    return b;
}

class UpgradeCtl : public CtlFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        AddServo(3, kHeron);
        std::string error;
        ASSERT_TRUE(bus->Start(error)) << error;
    }
    void TearDown() override
    {
        for (const auto& f : files)
            std::filesystem::remove(f);
        BusFixture::TearDown();
    }
    std::string File(const std::string& name, const Bytes& bytes)
    {
        const std::string path = catalogueFile + "-" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        files.push_back(path);
        return path;
    }
    std::string File(const std::string& name, const std::string& text)
    {
        return File(name, Bytes(text.begin(), text.end()));
    }
    int Run(std::vector<std::string> args, const std::string& timeout = "50")
    {
        return RunCtl(std::move(args), timeout);
    }
    std::vector<std::string> Lines() const { return OutLines(); }
    std::vector<std::string> files;
};

TEST_F(UpgradeCtl, ImageListsBlocksWithTheirCrc)
{
    Bytes ones(64, 0xFF);
    Bytes digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    Bytes bin = ones;
    bin.insert(bin.end(), digits.begin(), digits.end());
    ASSERT_EQ(Run({"image", File("a.bin", bin)}), 0) << err.str();
    // Block 2 holds the nine digits and 55 bytes of 0xFF.
    Bytes second = digits;
    second.resize(64, 0xFF);
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", LoaderCrc().Compute(second.data(), 64));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"kind bin", "length 73", "blocks 2", "1 278E",
                                                 std::string("2 ") + crc}));
    EXPECT_TRUE(Sent().empty());  // no port needed

    ASSERT_EQ(Run({"image", File("b.HEX", ":0400000001020304F2\n:00000001FF\n")}), 0);
    EXPECT_EQ(Lines()[0], "kind hex");
    EXPECT_EQ(Lines()[1], "length 4");

    struct Case {
        std::string file;
        std::string message;
    } bad[] = {
        {File("c.hex", ":0400000001020304F2\n:0400000001020304F3\n"), "固件格式错误 (line 2)"},
        {File("d.bin", Bytes(65537)), "固件格式错误"},
        {File("e.txt", Bytes(3)), "固件格式错误"},
        {catalogueFile + "-missing.hex", "无法打开固件"},
    };
    for (const auto& b : bad) {
        EXPECT_EQ(Run({"image", b.file}), 1) << b.file;
        EXPECT_NE(err.str().find(b.message), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty());
    }
}

TEST_F(UpgradeCtl, FlashBacksUpTheBlockFirstAndDeliversTheImage)
{
    const Bytes image = Pattern(64 * 40 + 5);
    bus->RefuseNextBlocks(4);
    const ServoMemory before = MemoryOf(3);
    ASSERT_EQ(Run({"flash", "3", File("fw.bin", image)}), 0) << err.str();
    Bytes expected = image;
    expected.resize(64 * 41, 0xFF);
    EXPECT_EQ(bus->LoaderImage(), expected);
    EXPECT_EQ(bus->LoaderBlocksRefused(), 4);
    // The backup: the servo's EPROM block (addresses 0 to 30 of its family), read before the
    // upgrade instruction and named on stderr.
    const auto sent = Sent();
    const auto read = std::find(sent.begin(), sent.end(), "FF FF 03 04 02 00 45 B1");
    const auto upgrade = std::find(sent.begin(), sent.end(), "FF FF 03 02 08 F2");
    ASSERT_NE(upgrade, sent.end());
    EXPECT_LT(read, upgrade);
    const std::string named = "backed up to ";
    const auto at = err.str().find(named);
    ASSERT_NE(at, std::string::npos) << err.str();
    const std::string path = err.str().substr(at + named.size(), err.str().find('\n', at) - at - named.size());
    EXPECT_NE(path.find("/servo-debugger/backups/苍鹭_HR25-ID3-"), std::string::npos) << path;
    files.push_back(path);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), Bytes(before.begin(), before.begin() + 31));
    EXPECT_NE(err.str().find("unlock bytes 7E 5A A5 3C C3 (built-in: the virtual bus's"), std::string::npos);
    // Not a terminal: a line per 10 %.
    EXPECT_NE(err.str().find("升级 10% (5/41)"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("升级 100% (41/41)"), std::string::npos);
}

// A family whose catalogue row gives other unlock bytes: its loader refuses the built-in ones.
TEST_F(UpgradeCtl, UnlockBytesComeFromTheCatalogue)
{
    TearDown();
    BusFixture::SetUp();
    std::ofstream(catalogueFile, std::ios::app | std::ios::binary)
        << Utf8ToGbk("\r\n[升级]\r\n5,0,255,0,18,52,86,120,154\r\n[升级结束]\r\n");
    AddServo(1, kKestrel);
    StartServing();
    const auto file = File("fw.bin", Pattern(64 * 3));
    ASSERT_EQ(Run({"flash", "1", file}), 0) << err.str();
    EXPECT_NE(err.str().find("unlock bytes 12 34 56 78 9A (the catalogue)"), std::string::npos);
    EXPECT_EQ(bus->LoaderImage(), Pattern(64 * 3));

    EXPECT_EQ(Run({"flash", "1", file, "--unlock", "7e 5a a5 3c c3"}), 1);
    EXPECT_NE(err.str().find("unlock bytes 7E 5A A5 3C C3 (--unlock)"), std::string::npos);
    EXPECT_NE(err.str().find("升级失败 at the unlock sequence"), std::string::npos) << err.str();
    // Left in its loader; the way back with the family's bytes delivers the image.
    EXPECT_EQ(Run({"flash", "1", file, "--in-loader", "--unlock", "123456789A"}), 0) << err.str();
    EXPECT_TRUE(bus->LoaderComplete());
}

TEST_F(UpgradeCtl, FlashFailuresSayWhere)
{
    const auto file = File("fw.bin", Pattern(300));
    // Nobody to back up: no upgrade, unless without a backup.
    EXPECT_EQ(Run({"flash", "7", file}), 1);
    EXPECT_NE(err.str().find("cannot back up the EPROM block (no answer within 50 ms); not upgrading"),
              std::string::npos) << err.str();
    EXPECT_EQ(Sent().size(), 1u);  // the identification read only
    EXPECT_EQ(Run({"flash", "7", file, "--no-backup"}), 1);
    EXPECT_NE(err.str().find("升级失败 at the unlock sequence"), std::string::npos) << err.str();

    // Every answer lost: the loader starts, but its answer to the unlock never comes.
    bus->SetDropShare(1.0);
    EXPECT_EQ(Run({"flash", "1", file, "--no-backup"}), 1);
    EXPECT_NE(err.str().find("升级失败"), std::string::npos);

    // A wrong answer to a block: the servo is put into its loader first, then every answer
    // comes back damaged (0x06 becomes 0x5C).
    bus->SetDropShare(0);
    ASSERT_EQ(comm.Open(bus->DevicePath()), 1);
    comm.SetBaudRate(115200);
    servo.RequestUpgrade(1);
    Settle();
    comm.Close();
    bus->SetCorruptShare(1.0);
    EXPECT_EQ(Run({"flash", "1", file, "--no-backup"}), 1);
    EXPECT_NE(err.str().find("升级失败 at block 1 of 5 (answer 5C)"), std::string::npos) << err.str();
    bus->SetCorruptShare(0);

    EXPECT_EQ(Run({"flash", "254", file}), 2);  // not the broadcast ID
    EXPECT_EQ(Run({"flash", "1", file, "--unlock", "7E5AA53C"}), 2);
    EXPECT_EQ(Run({"flash", "1", catalogueFile + "-none.bin"}), 1);
    EXPECT_NE(err.str().find("无法打开固件"), std::string::npos);
}

TEST_F(UpgradeCtl, CommTestPrintsPassesAndASummary)
{
    ASSERT_EQ(Run({"commtest", "--to", "3", "--passes", "2"}, "100"), 0) << err.str();
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u * 4u + 1u + 3u);
    EXPECT_EQ(lines[0].rfind("舵机ID:1  响应时间:", 0), 0u);
    EXPECT_NE(lines[0].find("通信速度:"), std::string::npos);
    EXPECT_NE(lines[1].find("超时次数:1"), std::string::npos);
    EXPECT_NE(lines[5].find("超时次数:2"), std::string::npos);
    EXPECT_EQ(lines[3], "通信流量:162Byte");
    EXPECT_EQ(lines[7], "通信流量:324Byte");
    EXPECT_EQ(lines[8], "summary");
    EXPECT_EQ(lines[9].rfind("舵机ID:1 answered 2 unanswered 0 p50 ", 0), 0u) << lines[9];
    EXPECT_NE(lines[9].find("kb/s"), std::string::npos);
    EXPECT_EQ(lines[10], "舵机ID:2 answered 0 unanswered 2");

    EXPECT_EQ(Run({"commtest", "--start", "10", "--end", "9"}), 2);
    EXPECT_NE(err.str().find("地址范围错误"), std::string::npos);
    EXPECT_EQ(Run({"commtest", "--to", "255"}), 2);
}

// The programs: servo-sim with its faults, servoctl as a user runs it.
class UpgradePrograms : public testing::Test {
protected:
    void Start(const std::vector<std::string>& faults)
    {
        link = testing::TempDir() + "/upbus-" + std::to_string(::getpid());
        received = link + ".received";
        std::filesystem::remove(received);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        sim = ::fork();
        if (sim == 0) {
            ::dup2(out[1], 1);
            std::vector<std::string> args = {SERVO_SIM, "--catalogue", SERVO_SOURCE_DIR "/data/setup.log",
                                             "--link", link, "--servo", "2:Kestrel-12",
                                             "--image-out", received};
            args.insert(args.end(), faults.begin(), faults.end());
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(SERVO_SIM, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        char line[256];
        FILE* in = ::fdopen(out[0], "r");
        ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
        std::fclose(in);
    }
    void TearDown() override
    {
        if (sim > 0) {
            ::kill(sim, SIGTERM);
            ::waitpid(sim, nullptr, 0);
        }
        std::filesystem::remove(received);
        std::filesystem::remove(image);
    }
    // Runs servoctl with stderr kept in a file; returns its exit status.
    int Ctl(const std::string& args, std::string& errText)
    {
        const std::string errFile = link + ".err";
        const std::string command = std::string(SERVOCTL) + " -p " + link + " --catalogue " +
                                    SERVO_SOURCE_DIR "/data/setup.log " + args + " >/dev/null 2>" + errFile;
        const int status = std::system(command.c_str());
        std::ifstream e(errFile);
        errText.assign(std::istreambuf_iterator<char>(e), {});
        std::filesystem::remove(errFile);
        return WEXITSTATUS(status);
    }
    Bytes Received() const
    {
        std::ifstream in(received, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void WriteImage(const Bytes& bytes)
    {
        image = link + ".bin";
        std::ofstream(image, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    pid_t sim = -1;
    std::string link, received, image;
};

TEST_F(UpgradePrograms, FlashThroughServoSimWithRefusals)
{
    Start({"--refuse-blocks", "7"});
    const Bytes bytes = Pattern(64 * 100);
    WriteImage(bytes);
    std::string err;
    ASSERT_EQ(Ctl("flash 2 " + image, err), 0) << err;
    EXPECT_EQ(Received(), bytes);
}

TEST_F(UpgradePrograms, FlashWithLostAnswersDeliversOrFailsCleanly)
{
    Start({"--drop", "0.02"});
    const Bytes bytes = Pattern(64 * 60);
    WriteImage(bytes);
    std::string err;
    const int status = Ctl("flash 2 " + image + " --no-backup", err);
    if (status == 0) {
        EXPECT_EQ(Received(), bytes);
        // The port is usable at the bus's rate again.
        std::string again;
        EXPECT_EQ(Ctl("-t 30 read 2 0 2", again), 0) << again;
    } else {
        EXPECT_EQ(status, 1);
        EXPECT_NE(err.find("升级失败"), std::string::npos) << err;
        EXPECT_NE(err.find("--in-loader starts again at the unlock step"), std::string::npos);
        EXPECT_TRUE(Received().empty());  // nothing half-written was taken as an image
    }
}

TEST_F(UpgradePrograms, InterruptStopsAfterTheBlockAndRestores)
{
    Start({"--pacing"});
    const Bytes bytes = Pattern(65536);
    WriteImage(bytes);
    const std::string errFile = link + ".err";
    const pid_t ctl = ::fork();
    if (ctl == 0) {
        const int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        ::execl(SERVOCTL, SERVOCTL, "-p", link.c_str(), "flash", "2", image.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait for the first tenth, then interrupt.
    std::string text;
    for (int i = 0; i < 1000 && text.find("升级 10%") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream e(errFile);
        text.assign(std::istreambuf_iterator<char>(e), {});
    }
    ASSERT_NE(text.find("升级 10%"), std::string::npos) << text;
    ::kill(ctl, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(ctl, &status, 0), ctl);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream e(errFile);
    text.assign(std::istreambuf_iterator<char>(e), {});
    EXPECT_NE(text.find("升级已取消"), std::string::npos) << text;
    EXPECT_EQ(text.find("升级 100%"), std::string::npos);
    std::filesystem::remove(errFile);

    // The servo waits in its loader, deaf at its own rate: no backup, so no upgrade; the
    // way back starts at the unlock step and delivers the image.
    std::string err;
    EXPECT_EQ(Ctl("-t 30 read 2 0 2", err), 1) << err;
    EXPECT_EQ(Ctl("flash 2 " + image, err), 1);
    EXPECT_NE(err.find("cannot back up"), std::string::npos) << err;
    ASSERT_EQ(Ctl("flash 2 " + image + " --in-loader", err), 0) << err;
    EXPECT_EQ(Received(), bytes);
    EXPECT_EQ(Ctl("-t 30 read 2 0 2", err), 0) << err;
}

TEST_F(UpgradePrograms, FlashRedrawsOneLineOnATerminal)
{
    Start({});
    WriteImage(Pattern(64 * 5));
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const pid_t ctl = ::fork();
    if (ctl == 0) {
        ::dup2(slave, 2);
        ::close(master);
        ::execl(SERVOCTL, SERVOCTL, "-p", link.c_str(), "flash", "2", image.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(slave);
    std::string text;
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            break;
        char buf[256];
        const ssize_t r = ::read(master, buf, sizeof buf);
        if (r <= 0)
            break;  // the program has ended and closed its side
        text.append(buf, static_cast<size_t>(r));
    }
    ::close(master);
    int status = 0;
    ASSERT_EQ(::waitpid(ctl, &status, 0), ctl);
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_NE(text.find("\r升级 [######"), std::string::npos) << text;
    EXPECT_NE(text.find("] 100% 5/5"), std::string::npos) << text;
    EXPECT_EQ(text.find("升级 10% ("), std::string::npos);  // no line per tenth
    EXPECT_EQ(Received(), Pattern(64 * 5));
}

}  // namespace
