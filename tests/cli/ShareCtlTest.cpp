// servoctl serve holding servo-sim's port, and servoctl clients (real processes) sharing it.
#include "ChildProcess.h"
#include "share/ShareEndpoint.h"
#include "share/ShareFrame.h"

#include <gtest/gtest.h>

#include <pwd.h>

#include <filesystem>
#include <fstream>

namespace {

const std::string kCatalogue = SERVO_SOURCE_DIR "/data/setup.log";

class ShareCtl : public testing::Test {
protected:
    void SetUp() override
    {
        sim = std::make_unique<ChildProcess>(std::vector<std::string>{
            SERVO_SIM, "--catalogue", kCatalogue, "--servo", "1:Kestrel-12", "--servo", "2:Osprey-40H"});
        ASSERT_TRUE(sim->Says("\n")) << sim->Err();
        device = sim->Out().substr(0, sim->Out().find('\n'));
        owner = std::make_unique<ChildProcess>(Args({"-b", "115200", "serve"}));
        ASSERT_TRUE(owner->Says("serving " + device + " at 115200 baud")) << owner->Err();
    }
    std::vector<std::string> Args(std::vector<std::string> more) const
    {
        std::vector<std::string> a = {SERVOCTL, "-p", device, "-t", "50", "--catalogue", kCatalogue};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    std::unique_ptr<ChildProcess> Client(std::vector<std::string> more)
    {
        return std::make_unique<ChildProcess>(Args(std::move(more)));
    }
    std::string Sharing() const { return device + " is shared by servoctl (pid " + std::to_string(owner->Pid()) + ")\n"; }

    std::unique_ptr<ChildProcess> sim, owner;
    std::string device;
};

int Lines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(ShareCtl, TwoMonitorsAndASaveAndLoadShareTheBus)
{
    const std::string file = testing::TempDir() + "/shared-" + std::to_string(::getpid()) + ".dat";
    auto a = Client({"monitor", "1", "--interval", "0", "--count", "300", "--csv"});
    auto b = Client({"monitor", "2", "--interval", "0", "--count", "300", "--csv"});
    auto save = Client({"save", "2", file});
    EXPECT_EQ(save->Wait(), 0) << save->Err();
    EXPECT_EQ(save->Err(), Sharing());
    EXPECT_EQ(std::filesystem::file_size(file), 40u);
    auto load = Client({"load", "2", file});
    EXPECT_EQ(load->Wait(), 0) << load->Err();
    EXPECT_EQ(load->Out(), "参数载入成功\n");
    for (auto* m : {a.get(), b.get()}) {
        EXPECT_EQ(m->Wait(), 0) << m->Err();
        EXPECT_EQ(Lines(m->Out()), 301);  // the header and every read answered
        EXPECT_EQ(m->Err(), Sharing());
    }
    EXPECT_TRUE(owner->Says("servoctl (pid " + std::to_string(load->Pid()) + ") left; "));
    std::filesystem::remove(file);
}

TEST_F(ShareCtl, RateChangeAndLoaderAreRefusedNamingTheOwner)
{
    const std::string image = testing::TempDir() + "/shared-" + std::to_string(::getpid()) + ".bin";
    std::ofstream(image) << std::string(140, 'x');
    const std::string shared = "servoctl: the bus is shared at 115200 by servoctl (pid " +
                               std::to_string(owner->Pid()) + "); close it there to ";
    const struct {
        std::vector<std::string> args;
        std::string refusal;
    } cases[] = {
        {{"-b", "1000000", "read", "1", "0", "9"}, "change the rate"},
        {{"set", "1", "6", "0"}, "change the rate"},       // the servo's rate code: 1000000
        {{"flash", "1", image}, "flash firmware"},
    };
    for (const auto& c : cases) {
        auto client = Client(c.args);
        EXPECT_NE(client->Wait(), 0) << c.args[0];
        EXPECT_NE(client->Err().find(shared + c.refusal + "\n"), std::string::npos) << client->Err();
    }
    // Nothing of it reached the bus: the servo still answers at the owner's rate.
    auto read = Client({"read", "1", "6", "1"});
    EXPECT_EQ(read->Wait(), 0) << read->Err();
    EXPECT_EQ(read->Out(), "04\n");
    std::filesystem::remove(image);
}

TEST_F(ShareCtl, ExclusiveFailsAsAHeldPortDoes)
{
    auto client = Client({"--exclusive", "read", "1", "0", "1"});
    EXPECT_EQ(client->Wait(), 1);
    EXPECT_NE(client->Err().find("servoctl: cannot open " + device + ": "), std::string::npos) << client->Err();
}

TEST_F(ShareCtl, OwnerEndedClientsSeePortGone)
{
    auto client = Client({"monitor", "1", "--interval", "10"});
    ASSERT_TRUE(client->Says("位置:"));
    owner->Signal(SIGTERM);
    EXPECT_EQ(owner->Wait(), 0);
    EXPECT_EQ(client->Wait(2), 1);
    EXPECT_NE(client->Err().find("port gone"), std::string::npos) << client->Err();
}

// A client that holds the bus in a sequence and then dies (or stops answering) leaves it to
// the others: another client's read goes through.
TEST_F(ShareCtl, AClientDeadOrSilentMidSequenceReleasesTheBus)
{
    for (const int signal : {SIGKILL, SIGSTOP}) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t holder = ::fork();
        if (holder == 0) {
            auto s = share::Connect(device);
            const uint8_t read1[] = {0xFF, 0xFF, 1, 4, 2, 0, 9, 0xEF};
            auto send = [&](const std::vector<uint8_t>& f) { return s && s->Send(f.data(), f.size()); };
            uint8_t buf[600];
            if (send(share::Encode(share::Hello{::getpid(), "holder"})) && s->Receive(buf, sizeof buf, 2000) > 0 &&
                send(share::EncodeEmpty(share::FrameType::Hold)) &&
                send(share::Encode(share::ExchangeRequest{50, 15, {std::begin(read1), std::end(read1)}})) &&
                s->Receive(buf, sizeof buf, 2000) > 0)
                [[maybe_unused]] const auto w = ::write(ready[1], "r", 1);
            ::pause();
            ::_exit(0);
        }
        char r = 0;
        ASSERT_EQ(::read(ready[0], &r, 1), 1);
        ::kill(holder, signal);
        auto other = Client({"read", "2", "0", "9"});
        EXPECT_EQ(other->Wait(5), 0) << "signal " << signal << ": " << other->Err();
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
    }
}

TEST_F(ShareCtl, BadFramesEndThatConnectionOnly)
{
    std::vector<uint8_t> tooLong = {'S', 'B', share::kVersion, 3, 0xFF, 0xFF};
    std::vector<uint8_t> otherVersion = share::Encode(share::Hello{1, "x"});
    otherVersion[2] = share::kVersion + 1;
    for (const auto& bytes : {std::vector<uint8_t>(64, 0x55), tooLong, otherVersion}) {
        auto s = share::Connect(device);
        ASSERT_NE(s, nullptr);
        ASSERT_TRUE(s->Send(bytes.data(), bytes.size()));
        uint8_t b[16];
        EXPECT_EQ(s->Receive(b, sizeof b, 5000), -1);  // the owner ended it
    }
    auto client = Client({"read", "1", "0", "1"});
    EXPECT_EQ(client->Wait(), 0) << client->Err();
    EXPECT_FALSE(owner->Wait(0));
}

TEST_F(ShareCtl, AnotherUserIsNotLetIn)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as nobody";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ChildProcess client(Args({"read", "1", "0", "1"}), std::make_pair(nobody->pw_uid, nobody->pw_gid));
    EXPECT_NE(client.Wait(), 0);
    EXPECT_EQ(client.Err().find("is shared by"), std::string::npos) << client.Err();
}

}  // namespace
