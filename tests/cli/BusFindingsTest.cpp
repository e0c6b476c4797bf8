// What servoctl finds on the virtual bus: an adapter that echoes what is sent, and two servos
// on one ID.
#include "CtlFixture.h"

namespace {

class BusFindings : public CtlFixture {};

TEST_F(BusFindings, AnEchoingAdapterIsReadPast)
{
    AddServo(1, kKestrel);
    AddServo(5, kOsprey);
    bus->SetEcho(true);
    StartBus();
    // What comes back first is the request itself: read as the reply, it would be taken for a
    // servo at every ID (a read of two bytes) or fail as damaged.
    const uint8_t request[] = {0xFF, 0xFF, 9, 4, 2, 3, 1, static_cast<uint8_t>(~(9 + 4 + 2 + 3 + 1))};
    ASSERT_EQ(comm.Write(request, sizeof request), static_cast<int>(sizeof request));
    uint8_t back[sizeof request] = {};
    ASSERT_EQ(comm.Read(back, sizeof back), static_cast<int>(sizeof back));
    EXPECT_TRUE(std::equal(back, back + sizeof back, request));
    comm.Close();

    ASSERT_EQ(RunCtl({"scan", "--to", "8"}), 0) << err.str();
    EXPECT_EQ(OutLines(), (std::vector<std::string>{"1\tKestrel-12", "5\tOsprey-40H"}));
    EXPECT_NE(err.str().find("the adapter echoes what is sent; the echo is skipped"), std::string::npos);

    ASSERT_EQ(RunCtl({"write", "5", "42", "7"}), 0) << err.str();
    EXPECT_EQ(MemoryOf(5)[42], 7);
    ASSERT_EQ(RunCtl({"read", "5", "42", "1"}), 0) << err.str();
    EXPECT_NE(out.str().find("07"), std::string::npos) << out.str();
    ASSERT_EQ(RunCtl({"monitor", "1", "--count", "5", "--interval", "5", "--csv"}), 0) << err.str();
    int answered = 0;
    for (const auto& line : OutLines())
        answered += line.find("timeout") == std::string::npos && !line.empty() && std::isdigit(line[0]);
    EXPECT_EQ(answered, 5) << out.str();
}

TEST_F(BusFindings, TwoServosOnOneIdAreNamedNotListed)
{
    AddServo(1, kKestrel);
    AddServo(3, kKestrel);
    AddServo(3, kOsprey);
    AddServo(4, kKestrel);
    StartServing();
    ASSERT_EQ(RunCtl({"scan", "--to", "6"}), 0) << err.str();
    EXPECT_EQ(OutLines(), (std::vector<std::string>{"1\tKestrel-12", "4\tKestrel-12"}));
    EXPECT_NE(err.str().find("ID 3: two servos may answer to this ID"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("ID 1:"), std::string::npos) << err.str();
    // Both heard every probe of their ID, and both answered each.
    const auto tally = bus->Tally();
    ASSERT_EQ(tally.size(), 4u);
    EXPECT_GT(tally[1].heard, 1);
    EXPECT_EQ(tally[1].heard, tally[2].heard);
    EXPECT_EQ(tally[1].answered, tally[1].heard);
}

}  // namespace
