#pragma once
// The bus overview's work on the bus: the scan over every rate it starts with when no servo
// is known, the servos it watches, and its round: one servo's feedback each turn, round robin,
// so a poll beside it (the debug page's) waits for one exchange at most. A face keeps the
// health of each servo from the readings and words them.

#include "bus/ServoBus.h"
#include "servo/BusHealth.h"
#include "servo/Feedback.h"
#include "servo/Identify.h"

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// A servo a scan found, or an ID where two servos may answer (`doubled`; not identified).
struct ScanFinding {
    int id = 0;
    int rate = 0;
    bool doubled = false;
    Identity identity;
};

// Scans IDs 0..253 at each rate of the baud list in turn, each with the automatic time-out
// of an identification read at that rate, asking late answers again and naming doubled IDs.
// `probing(rate, id)` false ends it; a rate the port does not take is skipped. The port is
// left at WatchedRate's choice. Inside a bus job.
std::vector<ScanFinding> ScanEveryRate(BusAccess& access, ModelCatalogue& catalogue,
                                       const std::function<bool(int rate, int id)>& probing);

// The rate to watch: `present` if anything answered there, else the rate where the most
// servos answered (the faster on a tie); `present` when none did.
int WatchedRate(const std::vector<ScanFinding>& found, int present);

// One watched servo, as the round knows it.
struct OverviewServo {
    int id = 0;
    bool doubled = false;
    Identity identity;
    HealthLimits limits;
};

// The servos `ids` at the present rate, each identified with its limits read; one that does
// not answer now is watched all the same (it shows as silent). Inside a bus job.
std::vector<OverviewServo> WatchServos(ZNS& protocol, ModelCatalogue& catalogue, const std::vector<int>& ids);

// The servos to watch at the present rate: `ids`, or with none the servos a scan of IDs
// 0..253 finds (late answers asked again; `doubled` told of each ID where two servos may
// answer, which is left out; `probing` false ends the scan), each identified with its limits
// read. Inside a bus job.
std::vector<OverviewServo> FindServos(ZNS& protocol, ModelCatalogue& catalogue, const std::vector<int>& ids,
                                      const std::function<void(int id)>& doubled,
                                      const std::function<bool(int id)>& probing = {});

// A watched servo that was not identified and has just answered: identified now, its limits
// read; true when it was. Inside a bus job.
bool IdentifyLate(ZNS& protocol, ModelCatalogue& catalogue, OverviewServo& servo);

// What one turn brought back.
struct OverviewReading {
    int id = 0;
    long long ms = 0;  // when it was read, on the round's clock
    bool answered = false;
    Feedback feedback;
    // A servo that missed its identification and answers now is identified now.
    std::optional<OverviewServo> identified;
};

class OverviewRound {
public:
    using Clock = std::chrono::steady_clock;
    // A servo that missed its last kMissesToRest polls is asked again after this long, not
    // every turn: its time-outs then cost the others little, and a servo that only drops a
    // reply now and then is still asked every turn (no silence of 1 s made by the waiting).
    static constexpr int kMissesToRest = 3;
    static constexpr std::chrono::milliseconds kSilentRetry{300};
    // The round's period, for the turns' period: every servo about this often.
    static constexpr int kRoundMs = 80;

    explicit OverviewRound(Clock::time_point epoch = Clock::now()) : epoch(epoch) {}
    void SetServos(std::vector<OverviewServo> watched);
    size_t Size() const { return servos.size(); }
    // The period of one turn for `servos` servos: kRoundMs shared out, 2..20 ms.
    static std::chrono::milliseconds TurnPeriod(size_t servos);

    // Reads the next servo that is due; none when none is. Inside a bus job.
    std::optional<OverviewReading> Turn(ZNS& protocol, ModelCatalogue& catalogue);

private:
    struct Watched {
        OverviewServo servo;
        int misses = 0;  // polls unanswered in a row
        Clock::time_point asked{};
    };
    Clock::time_point epoch;
    std::vector<Watched> servos;
    size_t next = 0;
};
