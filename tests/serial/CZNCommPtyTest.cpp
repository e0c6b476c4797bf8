// CZNComm on real pseudo-terminals: line settings, time-outs, purge and a vanishing far end.
#include "PtyPair.h"
#include "serial/CZNComm.h"
#include "words/ConsoleWords.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <time.h>

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

struct OpenPort {
    PtyPair pty;
    CZNComm comm;
    OpenPort(int rate = 115200)
    {
        EXPECT_EQ(comm.Open(pty.path), 1);
        comm.SetBaudRate(rate);
    }
};

TEST(Open, SaysWhyANameIsNoPort)
{
    const std::string file = testing::TempDir() + "/not-a-port";
    std::ofstream(file) << "x";
    const struct {
        std::string name;
        OpenError reason;
    } cases[] = {
        {"", OpenError::NoSuchDevice},
        {std::string(5000, 'a'), OpenError::NoSuchDevice},
        {"/nonexistent/ttyUSB0", OpenError::NoSuchDevice},
        {"/dev/null", OpenError::NotSerialDevice},
        {file, OpenError::NotSerialDevice},
        {"/tmp", OpenError::NotSerialDevice},
    };
    for (const auto& c : cases) {
        CZNComm comm;
        EXPECT_EQ(comm.Open(c.name), 0) << c.name.substr(0, 40);
        EXPECT_FALSE(comm.IsOpen());
        EXPECT_EQ(comm.LastOpenError().reason, c.reason) << c.name.substr(0, 40);
        EXPECT_EQ(OpenErrorText(comm.LastOpenError()), OpenErrorText(c.reason));
    }
}

// Root opens anything, so permission is shown on the mapping itself (and for real when the
// tests run as another user).
TEST(Open, NamesEverySystemReason)
{
    const std::pair<int, OpenError> cases[] = {
        {ENOENT, OpenError::NoSuchDevice},     {ENXIO, OpenError::NoSuchDevice},
        {ENODEV, OpenError::NoSuchDevice},     {EACCES, OpenError::PermissionDenied},
        {EPERM, OpenError::PermissionDenied},  {EBUSY, OpenError::Busy},
        {EWOULDBLOCK, OpenError::Busy},        {ENOTTY, OpenError::NotSerialDevice},
        {EISDIR, OpenError::NotSerialDevice},  {EIO, OpenError::Other},
    };
    for (const auto& [error, reason] : cases)
        EXPECT_EQ(OpenErrorOf(error), reason) << error;
    EXPECT_NE(OpenErrorText(OpenError::PermissionDenied).find("dialout"), std::string::npos);
    EXPECT_EQ(OpenErrorText(OpenError::Other, "Input/output error"), "Input/output error");
    if (::geteuid() != 0) {
        PtyPair pty;
        ASSERT_EQ(::chmod(pty.path.c_str(), 0), 0);
        CZNComm comm;
        EXPECT_EQ(comm.Open(pty.path), 0);
        EXPECT_EQ(comm.LastOpenError().reason, OpenError::PermissionDenied);
    }
}

TEST(Open, IsExclusiveUntilClosed)
{
    PtyPair pty;
    CZNComm first, second;
    ASSERT_EQ(first.Open(pty.path), 1);
    EXPECT_EQ(first.LastOpenError().reason, OpenError::None);
    EXPECT_EQ(second.Open(pty.path), 0);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastOpenError().reason, OpenError::Busy);
    EXPECT_EQ(first.Close(), 1);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(second.Open(pty.path), 1);
    EXPECT_EQ(second.LastOpenError().reason, OpenError::None);
}

TEST(SetBaudRate, ReturnsTheRateInForceBefore)
{
    PtyPair pty;
    CZNComm comm;
    ASSERT_EQ(comm.Open(pty.path), 1);
    const int before = pty.SlaveRate();
    EXPECT_EQ(comm.SetBaudRate(115200), before);
    EXPECT_EQ(comm.SetBaudRate(500000), 115200);
    EXPECT_EQ(comm.BaudRate(), 500000);
    EXPECT_EQ(comm.SetBaudRate(115200), 500000);
}

class EveryRate : public testing::TestWithParam<int> {};

TEST_P(EveryRate, IsSetOnTheDevice)
{
    OpenPort port(GetParam());
    EXPECT_EQ(port.pty.SlaveRate(), GetParam());
    EXPECT_EQ(port.comm.SetBaudRate(38400), GetParam());
}

INSTANTIATE_TEST_SUITE_P(BaudList, EveryRate,
                         testing::Values(1000000, 500000, 250000, 128000, 115200, 76800, 57600,
                                         38400));

TEST(Raw, ControlBytesPassUnchangedBothWays)
{
    OpenPort port;
    const Bytes special = {0x0D, 0x0A, 0x11, 0x13, 0x7F, 0xFF, 0x03, 0x04, 0x1A, 0x00, 0x0D};
    port.pty.Send(special);
    Bytes in(special.size());
    EXPECT_EQ(port.comm.Read(in.data(), static_cast<int>(in.size())),
              static_cast<int>(special.size()));
    EXPECT_EQ(in, special);

    EXPECT_EQ(port.comm.Write(special.data(), static_cast<int>(special.size())),
              static_cast<int>(special.size()));
    EXPECT_EQ(port.pty.Receive(special.size()), special);
}

TEST(Read, ReturnsWhatArrivedWithinTheTimeout)
{
    OpenPort port;
    port.pty.Send({1, 2, 3});
    uint8_t b[10] = {};
    EXPECT_EQ(port.comm.Read(b, 10), 3);
    EXPECT_EQ(b[2], 3);
    EXPECT_EQ(port.comm.Read(b, 0), 0);
    EXPECT_EQ(port.comm.Read(nullptr, 5), 0);
}

TEST(Read, EachCallHasItsOwnTimeout)
{
    OpenPort port;
    port.comm.OverrideTimeout(300);
    std::thread far([&] {
        std::this_thread::sleep_for(150ms);
        port.pty.Send({0xFF, 0xFF, 1, 6, 0});
        std::this_thread::sleep_for(200ms);
        port.pty.Send({9, 8, 7, 6});
        std::this_thread::sleep_for(200ms);
        port.pty.Send({0x55});
    });
    uint8_t head[5], data[4], chk;
    EXPECT_EQ(port.comm.Read(head, 5), 5);
    EXPECT_EQ(port.comm.Read(data, 4), 4);
    EXPECT_EQ(port.comm.Read(&chk, 1), 1);
    far.join();
    EXPECT_EQ(chk, 0x55);
}

TEST(SetTimeouts, LastsUntilTheNextRateChange)
{
    OpenPort port;
    port.comm.OverrideTimeout(2000);
    port.comm.SetBaudRate(115200);  // puts timeoutMs = 100 back in force
    EXPECT_EQ(port.comm.TimeoutMs(), 100);
    std::thread far([&] {
        std::this_thread::sleep_for(600ms);
        port.pty.Send({1});
    });
    uint8_t b;
    EXPECT_EQ(port.comm.Read(&b, 1), 0);
    far.join();
}

TEST(SetTimeoutMs, KeepsTheTimeoutAndPutsItInForceAtOnce)
{
    OpenPort port;
    port.comm.SetTimeoutMs(2000);
    std::thread far([&] {
        std::this_thread::sleep_for(400ms);
        port.pty.Send({1});
    });
    uint8_t b;
    EXPECT_EQ(port.comm.Read(&b, 1), 1);  // the default 100 ms would have ended the read
    far.join();
    port.comm.SetBaudRate(57600);
    EXPECT_EQ(port.comm.TimeoutMs(), 2000);
}

TEST(Read, WithZeroTimeoutStillEnds)
{
    OpenPort port;
    port.comm.OverrideTimeout(0);
    uint8_t b;
    EXPECT_EQ(port.comm.Read(&b, 1), 0);
    // Bounded, not "at once": a byte that comes well within the bound is still read.
    std::thread far([&] {
        std::this_thread::sleep_for(150ms);
        port.pty.Send({7});
    });
    EXPECT_EQ(port.comm.Read(&b, 1), 1);
    far.join();
}

TEST(PurgeInput, DropsOnlyWhatWasReceived)
{
    OpenPort port;
    port.pty.Send({1, 2, 3});
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(port.comm.PurgeInput(), 1);
    port.pty.Send({4});
    uint8_t b[4] = {};
    EXPECT_EQ(port.comm.Read(b, 4), 1);
    EXPECT_EQ(b[0], 4);
}

TEST(SetBaudRate, PurgesTheInputButSendsWhatWasWritten)
{
    OpenPort port;
    port.pty.Send({1, 2, 3});
    pollfd arrived{port.comm.Handle(), POLLIN, 0};
    ASSERT_EQ(::poll(&arrived, 1, 1000), 1);
    const Bytes written = {0xFF, 0xFF, 0x01, 0x02, 0x06, 0xF6};
    ASSERT_EQ(port.comm.Write(written.data(), 6), 6);
    port.comm.SetBaudRate(57600);
    EXPECT_FALSE(port.comm.RateRefused());
    EXPECT_EQ(port.comm.BaudRate(), 57600);
    uint8_t b[3];
    EXPECT_EQ(port.comm.Read(b, 3), 0);
    EXPECT_EQ(port.pty.Receive(6), written);
}

TEST(Write, IsBoundedWhenNobodyReads)
{
    OpenPort port;
    Bytes big(1 << 20, 0x5A);
    const int sent = port.comm.Write(big.data(), static_cast<int>(big.size()));
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int>(big.size()));
}

TEST(Write, ABlockLargerThanTheQueueArrivesWhole)
{
    OpenPort port;
    port.comm.OverrideTimeout(2000);
    Bytes block(1 << 18);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 7 + i / 251);
    Bytes got;
    std::thread far([&] { got = port.pty.Receive(block.size(), 10000); });
    EXPECT_EQ(port.comm.Write(block.data(), static_cast<int>(block.size())),
              static_cast<int>(block.size()));
    far.join();
    EXPECT_TRUE(got == block) << got.size() << " bytes received";
}

TEST(VanishedPort, ClosesItselfFailsAtOnceAndOpensAgainWhenBack)
{
    OpenPort port;
    port.pty.CloseMaster();
    uint8_t b[9] = {};
    EXPECT_EQ(port.comm.Read(b, 9), 0);
    // Gone, not silent: the device is let go of, and the next exchanges fail at once
    // instead of waiting out a time-out each.
    EXPECT_TRUE(port.comm.Gone());
    EXPECT_FALSE(port.comm.IsOpen());
    EXPECT_EQ(port.comm.Write(b, 9), 0);
    EXPECT_EQ(port.comm.Close(), 0);
    EXPECT_FALSE(port.comm.Gone());
}

}  // namespace
