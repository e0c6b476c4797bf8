#include "servo/Scan.h"

void ScanBus(ZNS& bus, ModelCatalogue& catalogue, int first, int last, const ScanReports& reports)
{
    for (int id = first; id <= last; ++id) {
        if (reports.probing && !reports.probing(id))
            break;
        Identity found;
        const Reply reply = IdentifyServo(bus, catalogue, static_cast<uint8_t>(id), {}, found, true);
        if (reply.outcome == Outcome::PortGone)
            break;
        if (reply && reports.found)
            reports.found(id, found);
    }
}
