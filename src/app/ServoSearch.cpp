#include "app/ServoSearch.h"

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

void ServoSearch::Run(BusAccess& bus, const Reports& reports)
{
    for (int id = 0; id <= kLastId; ++id) {
        if (!searching || !portOpen || bus.Stopping())
            break;
        if (reports.probing)
            reports.probing(id);
        ModelKey key{};
        const Reply reply = bus.protocol.ReadMemory(static_cast<uint8_t>(id), 0, key.data(), 9);
        if (reply.outcome == Outcome::PortGone)
            break;  // no further ID can answer
        // A damaged or late answer lists no servo.
        if (!reply)
            continue;
        const std::string model = catalogue.LookupModelName(key);
        if (reports.found)
            reports.found(id, key, model);
    }
    // Before the job ends: whoever gets the bus next finds the search ended.
    searching = 0;
    if (reports.finished)
        reports.finished();
}
