#include "app/ServoSearch.h"

#include "servo/Scan.h"

ServoSearch::ServoSearch(ModelCatalogue& c, const std::atomic<int>& open)
    : catalogue(c), portOpen(open)
{
}

bool ServoSearch::Start(ServoBus& bus, Reports reports)
{
    if (searching)
        return false;
    searching = 1;
    auto shared = std::make_shared<Reports>(std::move(reports));
    bus.Post(
        JobKind::Search, [this, shared](BusAccess& access) { Run(access, *shared); },
        [this, shared] {
            searching = 0;
            if (shared->finished)
                shared->finished();
        });
    return true;
}

void ServoSearch::Run(BusAccess& access, const Reports& reports)
{
    ScanReports scan;
    scan.probing = [&](int id) {
        if (!searching || !portOpen || access.Stopping())
            return false;
        if (reports.probing)
            reports.probing(id);
        return true;
    };
    scan.found = [&](int id, const Identity& found) {
        if (reports.found)
            reports.found(id, found.key, found.model);
    };
    scan.doubled = [&](int id) {
        if (reports.doubled)
            reports.doubled(id);
    };
    // Asking late or damaged answers again: a slow servo is not lost, and two servos on one
    // ID are told apart from a servo that is not there.
    ScanBus(access.protocol, catalogue, 0, kLastId, scan, true);
    // Before the job ends: whoever gets the bus next finds the search ended.
    searching = 0;
    if (reports.finished)
        reports.finished();
}
