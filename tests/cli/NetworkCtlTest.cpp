// servoctl through a real ser2net to the virtual bus: rfc2217:// with the rate set through
// the server, tcp:// at the server's rate, and the failures of a network port. What holds for
// any RFC 2217 server runs against pyserial's server too.
#include "CtlFixture.h"
#include "PySerialServer.h"
#include "Ser2Net.h"

#include <fstream>
#include <thread>

namespace {

class NetworkCtl : public CtlFixture {
protected:
    void Serve(int rawRate = 115200)
    {
        StartServing();
        server = std::make_unique<Ser2Net>(bus->DevicePath(), rawRate);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        port = server->Rfc2217();
    }
    std::string Temp(const std::string& name) const { return catalogueFile + "-" + name; }
    bool SentPacket(const std::string& packet) const
    {
        const auto sent = Sent();
        return std::find(sent.begin(), sent.end(), packet) != sent.end();
    }
    std::unique_ptr<Ser2Net> server;
};

// The same cases against ser2net and against pyserial's server, which agrees to the COM port
// option only after the client asked and serves one connection at a time.
class AnyServerCtl : public NetworkCtl, public testing::WithParamInterface<const char*> {
protected:
    void ServeAny()
    {
        if (std::string(GetParam()) == "ser2net") {
            Serve();
            any = server.get();
            return;
        }
        StartServing();
        pyserial = std::make_unique<PySerialServer>(bus->DevicePath());
        std::string error;
        ASSERT_TRUE(pyserial->Start(error)) << error;
        any = pyserial.get();
        port = any->Rfc2217();
    }
    // Every name the server serves the device under.
    std::vector<std::string> Names() const
    {
        if (server)
            return {server->Rfc2217(), server->Raw()};
        return {any->Rfc2217()};
    }
    std::unique_ptr<PySerialServer> pyserial;
    NetworkServer* any = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Servers, AnyServerCtl, testing::Values("ser2net", "pyserial"));

TEST_P(AnyServerCtl, ScansFindEachServoAtItsOwnRateOnly)
{
    AddServo(1, kKestrel, 0);  // 1000000
    AddServo(3, kOsprey, 4);   // 115200
    ServeAny();
    for (const char* timeout : {"50", "auto"}) {
        ASSERT_EQ(RunCtl({"scan", "--all-rates", "--to", "4"}, timeout), 0) << err.str();
        EXPECT_EQ(out.str(), "1\tKestrel-12\t1000000\n3\tOsprey-40H\t115200\n") << timeout;
    }
    ASSERT_EQ(RunCtl({"-b", "1000000", "scan", "--to", "4"}), 0) << err.str();
    EXPECT_EQ(out.str(), "1\tKestrel-12\n");
}

TEST_P(AnyServerCtl, BytesHoldingTheTelnetEscapeGoBothWays)
{
    AddServo(1, kKestrel);
    ServeAny();
    for (const std::string& name : Names()) {
        port = name;
        ASSERT_EQ(RunCtl({"write", "1", "13", "0xFF", "0xFF"}), 0) << name << err.str();
        EXPECT_EQ(MemoryOf(1)[13], 0xFF);
        EXPECT_EQ(MemoryOf(1)[14], 0xFF);
        ASSERT_EQ(RunCtl({"read", "1", "13", "2"}), 0) << name << err.str();
        EXPECT_EQ(out.str(), "FF FF\n") << name;
        ASSERT_EQ(RunCtl({"write", "1", "13", "60", "0x8C"}), 0) << name << err.str();
    }
}

TEST_F(NetworkCtl, ParametersFollowTheServosRateThroughTheServer)
{
    AddServo(1, kKestrel);
    Serve();
    const std::string file = Temp("net.dat");
    ASSERT_EQ(RunCtl({"save", "1", file}), 0) << err.str();
    ASSERT_EQ(RunCtl({"set", "1", "6", "0"}), 0) << err.str();
    EXPECT_EQ(err.str(), "servoctl: the servo is now ID 1 at 1000000 baud\n");
    ASSERT_EQ(RunCtl({"-b", "1000000", "table", "1"}), 0) << err.str();
    ASSERT_EQ(RunCtl({"-b", "1000000", "load", "1", file}), 0) << err.str();
    EXPECT_EQ(err.str(), "servoctl: the servo is now ID 1 at 115200 baud\n");
    ASSERT_EQ(RunCtl({"table", "1"}), 0) << err.str();
    std::remove(file.c_str());
}

TEST_F(NetworkCtl, FlashSwitchesToTheLoadersRateAndBack)
{
    AddServo(1, kKestrel);
    Serve();
    std::vector<uint8_t> image(64 * 3, 0);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 0xF9);  // 0xFF among them
    const std::string file = Temp("fw.bin");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                 static_cast<std::streamsize>(image.size()));
    ASSERT_EQ(RunCtl({"flash", "1", file, "--no-backup"}), 0) << err.str();
    EXPECT_EQ(bus->LoaderImage(), image);
    ASSERT_EQ(RunCtl({"commtest", "--from", "1", "--to", "1", "--passes", "3"}), 0) << err.str();

    // A raw port can't follow the servo to its loader: nothing is sent.
    port = server->Raw();
    WaitFor([&] { return RunCtl({"read", "1", "0", "1"}) == 0; }, "the server to free the device");
    bus->ClearLog();
    EXPECT_EQ(RunCtl({"flash", "1", file, "--no-backup"}), 1);
    EXPECT_NE(err.str().find("raw TCP port"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("500000"), std::string::npos) << err.str();
    EXPECT_FALSE(SentPacket("FF FF 01 02 08 F4"));
    std::remove(file.c_str());
}

TEST_F(NetworkCtl, TheRawPortRunsAtItsServersRateAndRefusesAnother)
{
    AddServo(1, kKestrel, 0);
    Serve(1000000);
    port = server->Raw();
    ASSERT_EQ(RunCtl({"-b", "1000000", "scan", "--to", "2"}), 0) << err.str();
    EXPECT_EQ(out.str(), "1\tKestrel-12\n");
    EXPECT_EQ(RunCtl({"-b", "1000000", "scan", "--all-rates", "--to", "2"}), 1);
    EXPECT_EQ(out.str(), "1\tKestrel-12\t1000000\n");
    EXPECT_NE(err.str().find("tcp://127.0.0.1:"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("is a raw TCP port: its server sets the rate, so 500000 baud cannot be set"),
              std::string::npos) << err.str();
}

TEST_F(NetworkCtl, FailuresNameTheirReason)
{
    AddServo(1, kKestrel);
    Serve();
    const std::string nobody = "tcp://127.0.0.1:" + std::to_string(Ser2Net::FreePort());
    const struct {
        std::string port;
        std::string message;
    } cases[] = {
        {nobody, "cannot open " + nobody + ": connection refused"},
        {"rfc2217://no-such-host.invalid:2000", "host not found"},
        {"rfc2217://" + server->Raw().substr(6), "the server does not offer RFC 2217 (COM-PORT-OPTION)"},
        {"tcp://127.0.0.1", "not a network port: expected rfc2217://HOST:PORT, rfc2217s://HOST:PORT or tcp://HOST:PORT"},
    };
    for (const auto& c : cases) {
        port = c.port;
        EXPECT_EQ(RunCtl({"scan", "--to", "1"}), 1) << c.port;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    }
}

TEST_F(NetworkCtl, TlsPortsCheckTheServersCertificate)
{
    AddServo(3, kOsprey, 4);
    StartServing();
    server = std::make_unique<Ser2Net>(bus->DevicePath());
    server->WithTls();
    std::string error;
    ASSERT_TRUE(server->Start(error)) << error;
    port = server->Tls();
    ::unsetenv("SERVO_TLS_CA");
    EXPECT_EQ(RunCtl({"scan", "--to", "4"}), 1);
    EXPECT_NE(err.str().find("the server's certificate is not valid"), std::string::npos) << err.str();
    ::setenv("SERVO_TLS_CA", server->CaFile().c_str(), 1);
    EXPECT_EQ(RunCtl({"scan", "--to", "4"}), 0) << err.str();
    ::unsetenv("SERVO_TLS_CA");
    EXPECT_EQ(out.str(), "3\tOsprey-40H\n");
}

TEST_P(AnyServerCtl, MonitorPollsAndEndsWhenTheServerGoes)
{
    AddServo(1, kKestrel);
    ServeAny();
    ASSERT_EQ(RunCtl({"monitor", "1", "--count", "3", "--interval", "20"}), 0) << err.str();
    EXPECT_EQ(OutLines().size(), 3u) << out.str();
    int status = -1;
    std::thread monitor([&] { status = RunCtl({"monitor", "1", "--interval", "20"}); });
    WaitFor([&] { return Sent().size() > 10; }, "the monitor's polls");
    any->Stop();
    monitor.join();
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.str().find("port gone"), std::string::npos) << err.str();
}

// A script's commands one after another, with no pause: the server may still hold the
// device for the connection that just closed, and says so to the next one.
TEST_F(NetworkCtl, CommandsInARowAreAllAnswered)
{
    AddServo(1, kKestrel);
    Serve();
    for (const std::string& name : {server->Rfc2217(), server->Raw()}) {
        port = name;
        for (int i = 0; i < 50; ++i) {
            ASSERT_EQ(RunCtl({"read", "1", "0", "9"}), 0) << name << " run " << i << ": " << err.str();
            ASSERT_EQ(out.str(), "05 03 00 0C 01 01 04 00 01\n") << name << " run " << i;
        }
    }
    // A monitor right after a read, on the same kind of port and on the other.
    for (const auto& [before, after] : {std::pair{server->Rfc2217(), server->Rfc2217()},
                                        {server->Raw(), server->Rfc2217()},
                                        {server->Rfc2217(), server->Raw()}}) {
        port = before;
        ASSERT_EQ(RunCtl({"read", "1", "0", "1"}), 0) << before << err.str();
        port = after;
        ASSERT_EQ(RunCtl({"monitor", "1", "--count", "2", "--interval", "20"}), 0) << after << err.str();
        EXPECT_EQ(OutLines().size(), 2u) << after;
    }
}

TEST_F(NetworkCtl, AServerWhoseDeviceStaysHeldIsBusy)
{
    AddServo(1, kKestrel);
    Serve();
    // Another client holds the device through the raw accepter.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(std::stoi(server->Raw().substr(server->Raw().rfind(':') + 1))));
    ASSERT_EQ(::connect(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const std::string busy = "the server's device is busy (another connection holds it)";
    const struct {
        std::string port;
        std::string message;
    } cases[] = {
        {server->Rfc2217(), busy},
        {server->Raw(), busy + "; the server said \"Port already in use\""},
    };
    for (const auto& c : cases) {
        port = c.port;
        EXPECT_EQ(RunCtl({"read", "1", "0", "1"}), 1) << c.port;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    }
    ::close(holder);
}

// A server that speaks first: what it sent before the first request is recorded as stray and
// never taken for the answer, even when it looks like one.
TEST_F(NetworkCtl, BytesBeforeTheFirstRequestAreStrayNotAnAnswer)
{
    StartServing();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    ::listen(listener, 1);
    std::thread server([listener] {
        const int c = ::accept(listener, nullptr, nullptr);
        if (c < 0)
            return;  // nobody came: the listener was shut
        const uint8_t status[] = {0xFF, 0xFF, 0x01, 0x03, 0x00, 0x0C, 0xEF};  // read 1 0 1's answer
        (void)!::write(c, status, sizeof status);
        char sink[64];
        while (::read(c, sink, sizeof sink) > 0) {
        }
        ::close(c);
    });
    port = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    EXPECT_EQ(RunCtl({"--trace", "read", "1", "0", "1"}), 1);
    ::shutdown(listener, SHUT_RDWR);
    server.join();
    ::close(listener);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("FF FF 01 03 00 0C EF  | ID 1 stray"), std::string::npos) << err.str();
}

}  // namespace
