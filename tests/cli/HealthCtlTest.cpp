// servoctl health on the virtual bus: its CSV rows, the alarms and the exit status, and bad
// input refused before anything is sent.
#include "CtlFixture.h"

#include <filesystem>
#include <fstream>

namespace {

class HealthCtl : public CtlFixture {
protected:
    std::vector<std::string> CsvLines() const
    {
        std::ifstream in(csv);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }
    const std::string csv = testing::TempDir() + "/health-" + std::to_string(::getpid()) + ".csv";
};

TEST_F(HealthCtl, BadInputSendsNothing)
{
    AddServo(1, kKestrel);
    StartServing();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"health", "--ids", "254"}, {"health", "--ids", "5-2"}, {"health", "--ids", "a"},
          {"health", "--ids", "1,"}, {"health", "--interval", "-1"}, {"health", "--duration", "0"},
          {"health", "--ids", "1", "--csv", "/nonexistent-folder/h.csv"}}) {
        EXPECT_EQ(RunCtl(args), 2) << args[1] << " " << args[2];
        EXPECT_NE(err.str().find("servoctl: "), std::string::npos);
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(HealthCtl, RowsPerRoundAndAlarmsOnStderr)
{
    AddServo(1, kKestrel);
    AddServo(3, kOsprey);
    StartServing();
    bus->SetFaultBits(3, 0x20);
    ASSERT_EQ(RunCtl({"health", "--ids", "1,3,9", "--duration", "0.4", "--interval", "20", "--csv", csv,
                      "--fail-on-alarm"}),
              1)
        << err.str();
    const auto lines = CsvLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "time_ms,id,model,requests,answered,timeouts,checksum_errors,malformed,latency_p50_us,"
                        "latency_p99_us,position,temperature,voltage,load,status,alarms");
    EXPECT_EQ((lines.size() - 1) % 3, 0u);
    // The first round: every count at one request, servo 3 with its fault bit, 9 silent.
    EXPECT_NE(lines[1].find(",1,Kestrel-12,1,1,0,0,0,"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(",3,Osprey-40H,1,1,0,0,0,"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[2].substr(lines[2].rfind(',')), ",fault");
    EXPECT_EQ(lines[3].substr(lines[3].find(",9,")), ",9,?,1,0,1,0,0,0,0,,,,,,");
    EXPECT_NE(err.str().find("servo 3: fault"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("servo 1:"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("Osprey-40H"), std::string::npos);
    std::filesystem::remove(csv);

    // No alarm: done; without --ids the scan finds the servos.
    bus->SetFaultBits(3, 0);
    ASSERT_EQ(RunCtl({"health", "--duration", "0.2", "--fail-on-alarm"}, "5"), 0) << err.str();
    EXPECT_NE(out.str().find("Kestrel-12"), std::string::npos);
    EXPECT_NE(out.str().find("Osprey-40H"), std::string::npos);
}

}  // namespace
