// Whole operations on a faulty virtual bus, through servoctl: a scan ends with what it
// could find and never lists a servo under an ID that isn't its own, whatever the bus drops,
// delays or corrupts; the port's settings are back once the fault is gone.
#include "BusFixture.h"
#include "cli/ServoCtl.h"

#include <sstream>

namespace {

class FaultyBus : public BusFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        AddServo(3, kOsprey);
        AddServo(4, kHeron);
        std::string error;
        ASSERT_TRUE(bus->Start(error)) << error;
    }
    int Scan()
    {
        std::ostringstream out, err;
        const int status = RunServoCtl({"servoctl", "-p", bus->DevicePath(), "-t", "50",
                                        "--catalogue", catalogueFile, "scan", "--to", "8"},
                                       out, err);
        lines.clear();
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return status;
    }
    std::vector<std::string> lines;
    const std::vector<std::string> truth{"1\tKestrel-12", "3\tOsprey-40H", "4\t苍鹭 HR25"};
};

bool Within(const std::vector<std::string>& found, const std::vector<std::string>& truth)
{
    for (const auto& f : found)
        if (std::find(truth.begin(), truth.end(), f) == truth.end())
            return false;
    return true;
}

// Answers that come after the time-out reach the next probe: they must not be taken for
// that ID's answer.
TEST_F(FaultyBus, LateAnswersListNoPhantomServos)
{
    bus->SetReplyDelayMs(80);
    EXPECT_EQ(Scan(), 0);
    EXPECT_TRUE(Within(lines, truth)) << testing::PrintToString(lines);
    bus->SetReplyDelayMs(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(Scan(), 0);
    EXPECT_EQ(lines, truth);
}

TEST_F(FaultyBus, DroppedAnswersOnlyHideServos)
{
    bus->SetDropShare(0.5);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Scan(), 0);
        EXPECT_TRUE(Within(lines, truth)) << testing::PrintToString(lines);
    }
}

// Replies are judged by their length: a corrupted data byte can change a model's name, but
// a servo is never listed under another ID.
TEST_F(FaultyBus, CorruptedAnswersNeverMoveAServo)
{
    bus->SetCorruptShare(0.5);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Scan(), 0);
        for (const auto& line : lines) {
            const std::string id = line.substr(0, line.find('\t'));
            EXPECT_TRUE(id == "1" || id == "3" || id == "4") << line;
        }
    }
}

}  // namespace
