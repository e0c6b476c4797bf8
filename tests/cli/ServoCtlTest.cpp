// servoctl against the virtual bus: what each command puts on the wire, what it prints, and
// its exit status.
#include "CtlFixture.h"

#include <chrono>
#include <sstream>
#include <thread>

namespace {

class ServoCtl : public CtlFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        AddServo(2, kHeron);
        AddServo(3, kOsprey);
        AddServo(4, kKestrel);
        AddServo(5, kKestrel);
        AddServo(9, kKestrel, 0);
        AddServo(6, kKestrel, -1, {{3, 99}});  // an identification the catalogue lacks
        StartServing();
    }

    int Run(std::vector<std::string> args)
    {
        const int status = RunCtl(std::move(args));
        Settle();  // until the bus thread has heard the last packet
        return status;
    }
};

TEST_F(ServoCtl, ScanListsTheServosAtThePortsRate)
{
    ASSERT_EQ(Run({"scan", "--to", "12"}), 0) << err.str();
    EXPECT_EQ(out.str(), "1\tKestrel-12\n2\t苍鹭 HR25\n3\tOsprey-40H\n4\tKestrel-12\n"
                         "5\tKestrel-12\n6\t未知型号\n");
    ASSERT_EQ(Run({"-b", "1000000", "scan", "--from", "5", "--to", "12"}), 0);
    EXPECT_EQ(out.str(), "9\tKestrel-12\n");
    EXPECT_EQ(Sent().front(), "FF FF 00 04 02 00 09 F0");
}

TEST_F(ServoCtl, ReadPrintsUpperCaseHex)
{
    ASSERT_EQ(Run({"read", "1", "0", "9"}), 0) << err.str();
    EXPECT_EQ(out.str(), "05 03 00 0C 01 01 04 00 01\n");
    ASSERT_EQ(Run({"read", "0x2", "0x0B", "2"}), 0);
    EXPECT_EQ(out.str(), "03 FF\n");
}

TEST_F(ServoCtl, WorkedExamplesGoOutExactly)
{
    const std::string fixed[] = {"--byte-order", "0", "--status-level", "1"};
    struct Case {
        std::vector<std::string> args;
        std::string packet;
    } cases[] = {
        {{"move", "1", "-100", "--acc", "10", "--speed", "500"},
         "FF FF 01 0A 03 29 0A 64 80 00 00 F4 01 E5"},
        {{"write-word", "1", "42", "2048"}, "FF FF 01 05 03 2A 00 08 C4"},
        {{"move", "1", "40000", "--speed", "-100", "--time", "-100"},
         "FF FF 01 0A 03 29 00 FF 77 64 04 64 80 06"},
        {{"move", "1", "-40000", "--speed", "-100", "--time", "-100"},
         "FF FF 01 0A 03 29 00 FF F7 64 04 64 80 86"},
        {{"write", "1", "13", "60", "0x8C"}, "FF FF 01 05 03 0D 3C 8C 21"},
        {{"write-byte", "1", "7", "2"}, "FF FF 01 04 03 07 02 EE"},
    };
    for (const auto& c : cases) {
        bus->ClearLog();
        std::vector<std::string> args(std::begin(fixed), std::end(fixed));
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(Run(args), 0) << c.args[0] << ": " << err.str();
        EXPECT_EQ(Sent(), std::vector<std::string>{c.packet}) << c.args[0];
    }
}

TEST_F(ServoCtl, IdentifiesTheServoFirst)
{
    // Servo 2 is high byte first and answers no writes: the identification read tells so.
    ASSERT_EQ(Run({"write-word", "2", "42", "2048"}), 0) << err.str();
    EXPECT_EQ(Sent(), (std::vector<std::string>{"FF FF 02 04 02 00 09 EE",
                                                "FF FF 02 05 03 2A 08 00 C3"}));
    EXPECT_EQ(MemoryOf(2)[42], 0x08);

    // Without the read a status would be awaited and never come.
    ASSERT_EQ(Run({"--byte-order", "1", "--status-level", "1", "write-byte", "2", "7", "1"}), 1);
    EXPECT_NE(err.str().find("servo 2"), std::string::npos);

    // The torque switch sits below the position block the profile gives.
    bus->ClearLog();
    ASSERT_EQ(Run({"torque", "3", "on"}), 0) << err.str();
    EXPECT_EQ(Sent().back(), "FF FF 03 04 03 28 01 CC");
    ASSERT_EQ(Run({"--position-address", "51", "torque", "3", "off"}), 0);
    EXPECT_EQ(Sent().back(), "FF FF 03 04 03 32 00 C3");
}

TEST_F(ServoCtl, RegisteredMovesWaitForAction)
{
    ASSERT_EQ(Run({"torque", "4", "on", "--mode", "sync", "--last", "5"}), 0) << err.str();
    const auto before = MemoryOf(4);
    bus->ClearLog();
    ASSERT_EQ(Run({"move", "4", "2500", "--mode", "reg", "--last", "5"}), 0) << err.str();
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 3u);  // the identification read, then one registered write each
    EXPECT_EQ(sent[1].substr(0, 20), "FF FF 04 0A 04 29 00");
    EXPECT_EQ(sent[2].substr(0, 20), "FF FF 05 0A 04 29 00");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(MemoryOf(4)[42], before[42]);
    EXPECT_EQ(MemoryOf(5)[56], before[56]);
    ASSERT_EQ(Run({"action"}), 0);
    EXPECT_EQ(Sent().back(), "FF FF FE 02 05 FA");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(MemoryOf(4)[42] | MemoryOf(4)[43] << 8, 2500);
    EXPECT_EQ(MemoryOf(5)[42] | MemoryOf(5)[43] << 8, 2500);
}

TEST_F(ServoCtl, SyncMoveIsOnePacketForTheRange)
{
    bus->ClearLog();
    ASSERT_EQ(Run({"--byte-order", "0", "--status-level", "1", "move", "3", "100", "--mode",
                   "sync", "--last", "5"}),
              0) << err.str();
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(0, 20), "FF FF FE 1C 83 29 07");
}

// A range longer than one sync packet holds: as many packets as it needs, every servo reached.
class LongSyncRange : public CtlFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        for (int id = 1; id <= 131; ++id)
            AddServo(id, kKestrel);
        StartServing();
    }
    // Waits until servos 1..last hold `value` at `address` (and the next one doesn't).
    bool Reached(int last, int address, int value, bool word)
    {
        const auto at = [&](int id) {
            const ServoMemory m = MemoryOf(id);
            return word ? m[address] | m[address + 1] << 8 : m[address];
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            bool all = true;
            for (int id = 1; id <= last && all; ++id)
                all = at(id) == value;
            if (all)
                return at(last + 1) != value;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::yield();
        }
    }
};

TEST_F(LongSyncRange, ReachesEveryServo)
{
    const std::vector<std::string> fixed = {"--byte-order", "0", "--status-level", "1"};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), fixed.begin(), fixed.end());
        return RunCtl(args);
    };
    ASSERT_EQ(run({"move", "1", "1234", "--mode", "sync", "--last", "40"}), 0) << err.str();
    EXPECT_TRUE(Reached(40, 42, 1234, true));
    ASSERT_EQ(run({"torque", "1", "on", "--mode", "sync", "--last", "130"}), 0) << err.str();
    EXPECT_TRUE(Reached(130, 40, 1, false));
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 4u);  // 31 + 9 positions, 125 + 5 torque switches
    EXPECT_EQ(sent[0].substr(0, 20), "FF FF FE FC 83 29 07");
    EXPECT_EQ(sent[1].substr(0, 20), "FF FF FE 4C 83 29 07");
    EXPECT_EQ(sent[2].substr(0, 20), "FF FF FE FE 83 28 01");
    EXPECT_EQ(sent[3].substr(0, 20), "FF FF FE 0E 83 28 01");
}

TEST_F(ServoCtl, BusFailuresExitOneNamingTheServo)
{
    EXPECT_EQ(Run({"read", "8", "0", "4"}), 1);
    EXPECT_EQ(err.str(), "servoctl: servo 8: no answer within 50 ms\n");
    bus->SetDropShare(1.0);
    EXPECT_EQ(Run({"write-byte", "1", "7", "1"}), 1);
    EXPECT_NE(err.str().find("servo 1"), std::string::npos);
    bus->SetDropShare(0);
    bus->SetCorruptShare(1.0);
    EXPECT_EQ(Run({"read", "1", "0", "4"}), 1);
    EXPECT_EQ(Run({"--byte-order", "0", "--status-level", "1", "move", "1", "0"}), 1);
    bus->SetCorruptShare(0);
    std::vector<std::string> missing = {"servoctl", "-p", "/nonexistent/tty", "read", "1", "0", "1"};
    EXPECT_EQ(RunServoCtl(missing, out, err), 1);
    EXPECT_NE(err.str().find("servoctl: cannot open /nonexistent/tty: no such device\n"),
              std::string::npos) << err.str();
}

TEST_F(ServoCtl, BadArgumentsExitTwoAndSendNothing)
{
    const std::vector<std::vector<std::string>> bad = {
        {"-b", "9600", "scan"},
        {"-b", "fast", "scan"},
        {"read", "255", "0", "1"},
        {"read", "1", "256", "1"},
        {"read", "1", "0", "0"},
        {"read", "1", "250", "9"},
        {"read", "1", "0x", "1"},
        {"read", "1", "12abc", "1"},
        {"read", "1", "0"},
        {"write-byte", "1", "7", "256"},
        {"write-byte", "1", "7", "-1"},
        {"write-word", "1", "7", "65536"},
        {"write", "1", "7", "1", "300"},
        {"move", "1", "0", "--acc", "256"},
        {"move", "1", "0", "--speed", "40000"},
        {"move", "1", "0", "--time", "-1024"},
        {"move", "3", "0", "--mode", "sync", "--last", "2"},
        {"move", "1", "0", "--last", "3"},
        {"move", "1", "0", "--mode", "fast"},
        {"torque", "1", "maybe"},
        {"scan", "--from", "9", "--to", "3"},
        {"--status-level", "2", "write-byte", "1", "7", "1"},
        {"fly"},
        {},
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_EQ(Run(args), 2) << joined;
        EXPECT_FALSE(err.str().empty()) << joined;
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ServoCtl, HelpExitsZero)
{
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(out.str().find("scan"), std::string::npos);
    EXPECT_EQ(Run({"move", "--help"}), 0);
    EXPECT_NE(out.str().find("--speed"), std::string::npos);
}

TEST_F(ServoCtl, TracePrintsEachPacketDecodedOnStderr)
{
    ASSERT_EQ(Run({"--trace", "read", "2", "0x0B", "2"}), 0) << err.str();
    EXPECT_EQ(out.str(), "03 FF\n");  // standard output keeps the command's own
    std::vector<std::string> lines;
    std::istringstream in(err.str());
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    ASSERT_GE(lines.size(), 2u);
    // Time since the port opened, direction, operation, bytes, decoding.
    const std::string request = lines[lines.size() - 2], reply = lines.back();
    EXPECT_NE(request.find(" out command  FF FF 02 04 02 0B 02 EA  | ID 2 READ addr 11 count 2"),
              std::string::npos) << request;
    EXPECT_NE(reply.find(" in  command  FF FF 02 04 00 03 FF F7  | ID 2 reply good error 0x00 data 03 FF"),
              std::string::npos) << reply;
    EXPECT_NE(Run({"--trace", "read", "8", "0", "1"}), 0);
    EXPECT_NE(err.str().find("| no answer\n"), std::string::npos) << err.str();
}

}  // namespace
