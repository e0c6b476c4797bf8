#pragma once
// The scan of the bus: one identification read per ID, at the port's present rate. A servo
// is listed only for a whole reply of the ID probed; a late answer to an earlier probe, a
// damaged one or none lists nobody. The window's search, servoctl scan and the Python
// module's scan follow it.

#include "servo/Identify.h"

#include <chrono>
#include <functional>
#include <map>
#include <vector>

struct ScanReports {
    // Asked before each probe: false ends the scan.
    std::function<bool(int id)> probing;
    std::function<void(int id, const Identity& found)> found;
    // An ID whose every asking drew a damaged reply, while the scan asked again (two servos
    // on one ID: their replies collide on the line).
    std::function<void(int id)> doubled;
};

// Probes IDs one at a time. Asking again (servoctl and the Python module): an ID whose reply
// starts after its probe's time-out is not lost. The scan remembers the IDs that stayed
// silent; when bytes wait right after a probe, or a later probe draws a silent ID's answer,
// it asks that ID again with a time-out fitted to how late the answer came, then goes on.
// A loaded machine or a slow link then never drops a servo that answers.
class BusScanner {
public:
    BusScanner(ModelCatalogue& catalogue, bool askLateAgain);
    // Probes `id` (and any silent ID found answering late) inside a bus job, over its
    // protocol; false once the port is gone.
    bool Probe(ZNS& protocol, int id, const ScanReports& reports);

    // The longest time-out a second asking waits.
    static constexpr int kLongestAskMs = 2000;
    // How long the line must stay quiet before a second asking.
    static constexpr int kQuietMs = 50;
    // How often an ID whose answers keep coming late is asked, each time waiting twice as long.
    static constexpr int kAskings = 3;
    // How many silent IDs heard among stray bytes are asked again after one late answer.
    static constexpr size_t kStrayAskings = 8;

private:
    using Clock = std::chrono::steady_clock;
    // Asks `id` again, waiting twice as long as its answer was late (and longer again while
    // its answers keep coming late); true when it answered.
    bool AskAgain(int id, Clock::duration late, const ScanReports& reports);

    // Silent IDs whose answers turn up among bytes dropped before a second asking.
    void NoteStrayAnswers(const uint8_t* bytes, int n);
    void AskHeardLate(const ScanReports& reports);

    ZNS* protocol = nullptr;  // the running probe's
    ModelCatalogue& catalogue;
    const bool askLateAgain;
    bool lastAskDamaged = false;  // the last asking again drew a damaged reply of its own ID
    std::map<int, Clock::time_point> silent;  // unanswered IDs and when they were asked
    std::vector<int> heardLate;
};

// Probes IDs first..last in turn; it also ends when the port is gone (no further ID can
// answer).
void ScanBus(ZNS& protocol, ModelCatalogue& catalogue, int first, int last, const ScanReports& reports,
             bool askLateAgain = false);
