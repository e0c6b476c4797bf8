// CZNComm on COM ports joined by a null-modem line: what the port under test writes, the peer
// end reads, and the other way round. Under wine both ports are pseudo-terminals, so the
// line settings reach a real tty and the bytes cross a real relay.
#include "WineHost.h"
#include "serial/CZNComm.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

class NullModem : public testing::Test {
protected:
    void SetUp() override
    {
        if (wine_host::NearPort().empty() || wine_host::FarPort().empty())
            GTEST_SKIP() << wine_host::kNoPortsReason;
        ASSERT_EQ(port.Open(wine_host::NearPort()), 1) << wine_host::NearPort();
        ASSERT_EQ(peer.Open(wine_host::FarPort()), 1) << wine_host::FarPort();
        port.SetBaudRate(115200);
        peer.SetBaudRate(115200);
    }
    static void Send(CZNComm& from, const Bytes& bytes)
    {
        ASSERT_EQ(from.Write(bytes.data(), static_cast<int>(bytes.size())),
                  static_cast<int>(bytes.size()));
    }
    // Up to `want` bytes, or what came within the port's time-outs.
    static Bytes Receive(CZNComm& at, size_t want)
    {
        Bytes got(want);
        size_t have = 0;
        while (have < want) {
            const int r = at.Read(got.data() + have, static_cast<int>(want - have));
            if (r <= 0)
                break;
            have += static_cast<size_t>(r);
        }
        got.resize(have);
        return got;
    }
    // Long enough for bytes to cross the relay.
    static void Settle() { std::this_thread::sleep_for(100ms); }

    CZNComm port, peer;
};

TEST(Open, RefusesWhatIsNoSerialPort)
{
    const std::string file = testing::TempDir() + "not-a-port.txt";
    std::ofstream(file) << "x";
    for (const std::string& name :
         {std::string(), std::string("COM"), std::string("COM0"), std::string("COM250"),
          std::string("NUL"), std::string(5000, 'a'), file, testing::TempDir(),
          std::string("COM1\0x", 6)}) {
        CZNComm comm;
        EXPECT_EQ(comm.Open(name), 0) << name.substr(0, 40);
        EXPECT_FALSE(comm.IsOpen());
        EXPECT_NE(comm.LastOpenError().reason, OpenError::None);
    }
    CZNComm comm;
    EXPECT_EQ(comm.Open(file), 0);
    EXPECT_EQ(comm.LastOpenError().reason, OpenError::NotSerialDevice);
}

TEST(Open, TakesPortsFromTenThroughTheDeviceNamespace)
{
    // The run maps ports on both sides of nine: the port end at 10 or above.
    for (const auto& port : wine_host::MappedPorts()) {
        CZNComm comm;
        EXPECT_EQ(comm.Open(port), 1) << port;
        EXPECT_EQ(comm.Close(), 1) << port;
        if (std::stoi(port.substr(3)) > 9) {
            EXPECT_EQ(comm.Open("\\\\.\\" + port), 1) << port;
            EXPECT_EQ(comm.Close(), 1);
        }
    }
    if (wine_host::MappedPorts().empty())
        GTEST_SKIP() << wine_host::kNoPortsReason;
}

TEST_F(NullModem, OpenIsExclusiveUntilClosed)
{
    if (wine_host::UnderWine())
        GTEST_SKIP() << "wine does not enforce exclusive opening of a COM port";
    CZNComm second;
    EXPECT_EQ(second.Open(wine_host::NearPort()), 0);
    port.Close();
    EXPECT_EQ(second.Open(wine_host::NearPort()), 1);
}

TEST_F(NullModem, SetBaudRateReturnsTheRateInForceBefore)
{
    EXPECT_EQ(port.SetBaudRate(57600), 115200);
    EXPECT_EQ(port.BaudRate(), 57600);
    EXPECT_EQ(port.SetBaudRate(115200), 57600);
    EXPECT_EQ(port.BaudRate(), 115200);
}

class EveryRate : public NullModem, public testing::WithParamInterface<int> {};

TEST_P(EveryRate, IsReadBackFromTheDevice)
{
    EXPECT_EQ(port.SetBaudRate(GetParam()), 115200);
    EXPECT_EQ(port.BaudRate(), GetParam());
    EXPECT_EQ(port.SetBaudRate(38400), GetParam());
}

INSTANTIATE_TEST_SUITE_P(BaudList, EveryRate,
                         testing::Values(1000000, 500000, 115200, 57600, 38400));

// Wine accepts these three rates, sets 38400 instead and reports success; the read-back
// shows it, so baudRate tells the truth rather than the request.
class WineSetsAs38400 : public NullModem, public testing::WithParamInterface<int> {};

TEST_P(WineSetsAs38400, UnderWineAndIsReadBackSo)
{
    port.SetBaudRate(GetParam());
    EXPECT_EQ(port.BaudRate(), wine_host::UnderWine() ? 38400 : GetParam());
}

INSTANTIATE_TEST_SUITE_P(BaudList, WineSetsAs38400, testing::Values(250000, 128000, 76800));

TEST_F(NullModem, EveryByteValuePassesUnchangedBothWays)
{
    const Bytes special = {0x00, 0x0D, 0x0A, 0x11, 0x13, 0x1A, 0x7F, 0xFF, 0x03, 0x04, 0x1C, 0x00};
    Bytes all(256);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint8_t>(i);
    for (const Bytes& bytes : {special, all}) {
        Send(port, bytes);
        EXPECT_EQ(Receive(peer, bytes.size()), bytes);
        Send(peer, bytes);
        EXPECT_EQ(Receive(port, bytes.size()), bytes);
    }
}

TEST_F(NullModem, SilentLineReadsNothingWhenTheTimeoutRunsOut)
{
    uint8_t b[5] = {};
    EXPECT_EQ(port.Read(b, 5), 0);
    EXPECT_EQ(port.Read(b, 0), 0);
    EXPECT_EQ(port.Read(nullptr, 5), 0);
}

TEST_F(NullModem, PartialReplyGivesWhatCame)
{
    Send(peer, {1, 2, 3});
    uint8_t b[10] = {};
    EXPECT_EQ(port.Read(b, 10), 3);
    EXPECT_EQ(Bytes(b, b + 3), (Bytes{1, 2, 3}));
}

TEST_F(NullModem, EachReadHasItsOwnTimeout)
{
    port.SetTimeouts(600);
    std::thread other([&] {
        std::this_thread::sleep_for(350ms);
        Send(peer, {0xFF, 0xFF, 1, 6, 0});
        std::this_thread::sleep_for(350ms);
        Send(peer, {9, 8, 7, 6});
        std::this_thread::sleep_for(350ms);
        Send(peer, {0x55});
    });
    uint8_t head[5], data[4], chk = 0;
    EXPECT_EQ(port.Read(head, 5), 5);
    EXPECT_EQ(port.Read(data, 4), 4);
    EXPECT_EQ(port.Read(&chk, 1), 1);
    other.join();
    EXPECT_EQ(chk, 0x55);
}

TEST_F(NullModem, SetTimeoutsLastsUntilTheNextRateChange)
{
    port.SetTimeouts(3000);
    port.SetBaudRate(115200);  // puts timeoutMs = 100 back in force
    std::thread other([&] {
        std::this_thread::sleep_for(800ms);
        Send(peer, {1});
    });
    uint8_t b = 0;
    EXPECT_EQ(port.Read(&b, 1), 0);
    other.join();
}

TEST_F(NullModem, ZeroTimeoutStillEnds)
{
    port.SetTimeouts(0);
    uint8_t b = 0;
    EXPECT_EQ(port.Read(&b, 1), 0);
    Send(peer, {7});
    EXPECT_EQ(port.Read(&b, 1), 1);
    EXPECT_EQ(b, 7);
}

TEST_F(NullModem, PurgeInputDropsOnlyWhatWasReceived)
{
    Send(peer, {1, 2, 3});
    Settle();
    EXPECT_EQ(port.PurgeInput(), 1);
    Send(peer, {4});
    uint8_t b[4] = {};
    EXPECT_EQ(port.Read(b, 4), 1);
    EXPECT_EQ(b[0], 4);
}

TEST_F(NullModem, SetBaudRatePurgesTheInputButSendsWhatWasWritten)
{
    Send(peer, {1, 2, 3});
    Settle();
    const uint8_t written[6] = {0xFF, 0xFF, 0x01, 0x02, 0x06, 0xF6};
    ASSERT_EQ(port.Write(written, 6), 6);
    port.SetBaudRate(57600);
    uint8_t b[3] = {};
    EXPECT_EQ(port.Read(b, 3), 0);
    EXPECT_EQ(Receive(peer, 6), Bytes(written, written + 6));
}

TEST_F(NullModem, WriteIsBoundedWhenNobodyReads)
{
    Bytes big(1 << 20, 0x5A);
    const int sent = port.Write(big.data(), static_cast<int>(big.size()));
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int>(big.size()));
}

}  // namespace
