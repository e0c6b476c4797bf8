// servoctl scan: -t auto on a paced bus, and --all-rates.
#include "BusFixture.h"
#include "cli/ServoCtl.h"

#include <algorithm>
#include <sstream>

namespace {

class Scan : public BusFixture {
protected:
    void Start()
    {
        std::string error;
        ASSERT_TRUE(bus->Start(error)) << error;
    }
    int Run(std::vector<std::string> args)
    {
        std::vector<std::string> full = {"servoctl", "-p", bus->DevicePath(), "--catalogue",
                                         catalogueFile};
        full.insert(full.end(), args.begin(), args.end());
        out.str("");
        err.str("");
        return RunServoCtl(full, out, err);
    }
    // The lines of `expected` that up to five scans listed between them. A time-out too
    // short misses answers in every scan, but a machine busy elsewhere may hold up an answer
    // now and then. Each scan lists only expected lines, in their order.
    std::string FoundOverScans(const std::vector<std::string>& args, const std::string& expected)
    {
        std::vector<std::string> lines;
        std::istringstream in(expected);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        std::vector<bool> found(lines.size(), false);
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(200));  // past a busy spell
            EXPECT_EQ(Run(args), 0) << err.str();
            std::istringstream listed(out.str());
            size_t next = 0;
            for (std::string line; std::getline(listed, line);) {
                const auto at = std::find(lines.begin() + static_cast<long>(next), lines.end(), line);
                EXPECT_NE(at, lines.end()) << "unexpected or out of order: " << line;
                if (at == lines.end())
                    break;
                next = static_cast<size_t>(at - lines.begin()) + 1;
                found[next - 1] = true;
            }
            if (std::find(found.begin(), found.end(), false) == found.end())
                break;
        }
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i)
            if (found[i])
                text += lines[i] + "\n";
        return text;
    }
    std::ostringstream out, err;
};

TEST_F(Scan, AutoTimeoutWaitsLongEnoughForPacedAnswers)
{
    // Servos at the fastest and the slowest rate of the list, answering after their
    // reply's wire time and a return delay within the 1 ms the time-out allows for.
    for (const int id : {1, 2, 17, 30})
        AddServo(id, kKestrel, 0);
    for (const int id : {3, 4, 18, 29})
        AddServo(id, kOsprey, 7);
    bus->SetPacing(true, 300);
    Start();
    const std::string fast = "1\tKestrel-12\n2\tKestrel-12\n17\tKestrel-12\n30\tKestrel-12\n";
    EXPECT_EQ(FoundOverScans({"-t", "auto", "-b", "1000000", "scan", "--to", "30"}, fast), fast);
    const std::string slow = "3\tOsprey-40H\n4\tOsprey-40H\n18\tOsprey-40H\n29\tOsprey-40H\n";
    EXPECT_EQ(FoundOverScans({"-t", "auto", "-b", "38400", "scan", "--to", "30"}, slow), slow);
}

TEST_F(Scan, AllRatesFindsServosSetToDifferentRates)
{
    AddServo(5, kKestrel, 7);
    AddServo(2, kOsprey, 4);
    AddServo(9, kHeron, 0);
    AddServo(1, kKestrel, 4);
    AddServo(9, kKestrel, 7);  // an ID that answers at two rates is listed at each
    bus->SetPacing(true);
    Start();
    const std::string all = "9\t苍鹭 HR25\t1000000\n"
                            "1\tKestrel-12\t115200\n2\tOsprey-40H\t115200\n"
                            "5\tKestrel-12\t38400\n9\tKestrel-12\t38400\n";
    EXPECT_EQ(FoundOverScans({"-t", "auto", "scan", "--all-rates", "--to", "12"}, all), all);
    // A fixed time-out holds at every rate.
    const std::string some = "2\tOsprey-40H\t115200\n5\tKestrel-12\t38400\n";
    EXPECT_EQ(FoundOverScans({"-t", "30", "scan", "--all-rates", "--from", "2", "--to", "5"}, some),
              some);
}

TEST_F(Scan, LateAnswersAreAskedAgainAndListedUnderTheirOwnId)
{
    // Every answer comes after the time-out, within the next probe: each servo is asked
    // again with a longer time-out, and no ID is listed for another's answer.
    AddServo(1, kKestrel);
    AddServo(3, kOsprey);
    Start();
    bus->SetReplyDelayMs(30);
    ASSERT_EQ(Run({"-t", "20", "scan", "--to", "5"}), 0) << err.str();
    EXPECT_EQ(out.str(), "1\tKestrel-12\n3\tOsprey-40H\n");
}

TEST_F(Scan, AutoIsTheOnlyWordTheTimeoutTakes)
{
    Start();
    for (const char* bad : {"Auto", "automatic", "-1", "60001"}) {
        EXPECT_EQ(Run({"-t", bad, "scan"}), 2) << bad;
        EXPECT_NE(err.str().find("time-out"), std::string::npos) << bad;
    }
}

}  // namespace
