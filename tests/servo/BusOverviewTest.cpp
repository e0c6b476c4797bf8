// The bus overview's scan over every rate on the virtual bus, and the rate it then watches.
#include "BusFixture.h"

#include "bus/ServoBus.h"
#include "servo/BusOverview.h"

namespace {

class BusOverview : public BusFixture {};

TEST_F(BusOverview, EveryRateIsScannedAndTheRateWithServosIsKept)
{
    AddServo(1, kKestrel, 4);  // 115200, the port's rate
    AddServo(2, kKestrel, 0);  // 1 Mbaud
    AddServo(3, kKestrel, 0);  // two servos on ID 3 at 1 Mbaud
    AddServo(3, kOsprey, 0);
    StartBus(115200);
    ServoBus jobs{comm, ServoBus::Threading::Caller};
    const auto found = jobs.Run(JobKind::Search,
                                [&](BusAccess& access) { return ScanEveryRate(access, *catalogue, {}); });
    std::vector<std::tuple<int, int, bool>> seen;
    for (const ScanFinding& f : found)
        seen.emplace_back(f.id, f.rate, f.doubled);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::tuple<int, int, bool>>{{1, 115200, false}, {2, 1000000, false},
                                                             {3, 1000000, true}}));
    // Servos answered at the port's own rate: it stays there.
    EXPECT_EQ(comm.BaudRate(), 115200);
}

TEST(WatchedRate, ThePortsOwnWhenAnythingAnsweredThereElseTheBusiest)
{
    auto at = [](std::vector<int> rates) {
        std::vector<ScanFinding> found;
        for (const int rate : rates)
            found.push_back({1, rate, false, {}});
        return found;
    };
    const struct {
        std::vector<int> rates;
        int present, watched;
    } cases[] = {
        {{}, 115200, 115200},
        {{1000000, 115200}, 115200, 115200},
        {{57600, 57600, 1000000}, 115200, 57600},
        {{57600, 1000000}, 115200, 1000000},  // a tie goes to the faster
    };
    for (const auto& c : cases)
        EXPECT_EQ(WatchedRate(at(c.rates), c.present), c.watched);
}

}  // namespace
