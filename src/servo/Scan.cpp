#include "servo/Scan.h"

#include <algorithm>

BusScanner::BusScanner(ZNS& b, ModelCatalogue& c, bool again) : bus(b), catalogue(c), askLateAgain(again)
{
}

bool BusScanner::Probe(int id, const ScanReports& reports)
{
    Identity found;
    const auto asked = Clock::now();
    const Reply reply = IdentifyServo(bus, catalogue, static_cast<uint8_t>(id), {}, found, true);
    if (reply.outcome == Outcome::PortGone)
        return false;
    if (reply) {
        if (reports.found)
            reports.found(id, found);
        return true;
    }
    if (!askLateAgain)
        return true;
    if (reply.outcome == Outcome::Damaged && reply.damage == Damage::Id) {
        // An earlier silent ID answered into this probe: ask it again, then this one, whose
        // own answer the stray one may have hidden.
        const auto earlier = silent.find(reply.from);
        if (earlier != silent.end()) {
            const auto late = Clock::now() - earlier->second;
            silent.erase(earlier);
            AskAgain(reply.from, late, reports);
        }
        AskAgain(id, Clock::now() - asked, reports);
        return !bus.ChannelGone();
    }
    if (reply.partial || bus.ChannelWaiting() > 0 || reply.outcome == Outcome::Damaged) {
        // Its answer began within the time-out but ended after it, began after it, or
        // arrived broken by it.
        AskAgain(id, Clock::now() - asked, reports);
        return !bus.ChannelGone();
    }
    silent[id] = asked;
    return true;
}

bool BusScanner::AskAgain(int id, Clock::duration late, const ScanReports& reports)
{
    const int lateMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(late).count());
    const int ms = std::min(kLongestAskMs, bus.ReplyTimeoutMs() + 2 * std::max(lateMs, 1));
    // Every answer still on its way (a later probe's, as late as this one's) arrives and is
    // dropped first: the second asking then hears only its own. The wait covers a delayed
    // acknowledgement too (about 40 ms), for which a network server may hold an answer back.
    bus.SetReplyTimeout(std::max(ms, kQuietMs));
    uint8_t stray[64];
    while (bus.ReceiveBytes(stray, sizeof stray) > 0) {
    }
    bus.SetReplyTimeout(ms);
    Identity found;
    const auto asked = Clock::now();
    const Reply reply = IdentifyServo(bus, catalogue, static_cast<uint8_t>(id), {}, found, true);
    bus.RestoreReplyTimeout();
    if (!reply) {
        silent[id] = asked;
        return false;
    }
    silent.erase(id);
    if (reports.found)
        reports.found(id, found);
    return true;
}

void ScanBus(ZNS& bus, ModelCatalogue& catalogue, int first, int last, const ScanReports& reports,
             bool askLateAgain)
{
    BusScanner scanner(bus, catalogue, askLateAgain);
    for (int id = first; id <= last; ++id) {
        if (reports.probing && !reports.probing(id))
            break;
        if (!scanner.Probe(id, reports))
            break;
    }
}
