#include "servo/Scan.h"

#include <algorithm>

BusScanner::BusScanner(ModelCatalogue& c, bool again) : catalogue(c), askLateAgain(again) {}

bool BusScanner::Probe(ZNS& on, int id, const ScanReports& reports)
{
    protocol = &on;
    // One ID's probe and its askings again go with nothing of another program between them:
    // a late answer is then this scan's own. (A whole scan would hold a shared bus too long.)
    const ZNS::Uninterrupted sequence(*protocol);
    Identity found;
    const auto asked = Clock::now();
    const Reply reply = IdentifyServo(*protocol, catalogue, static_cast<uint8_t>(id), {}, found, true);
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
        AskHeardLate(reports);
        return !protocol->ChannelGone();
    }
    if (reply.partial || protocol->ChannelWaiting() > 0 || reply.outcome == Outcome::Damaged) {
        // Its answer began within the time-out but ended after it, began after it, or
        // arrived broken by it.
        lastAskDamaged = false;
        const bool answered = AskAgain(id, Clock::now() - asked, reports);
        // Damaged every time, by nothing late: the replies of two servos collide.
        if (!answered && reply.outcome == Outcome::Damaged && lastAskDamaged && reports.doubled)
            reports.doubled(id);
        AskHeardLate(reports);
        return !protocol->ChannelGone();
    }
    silent[id] = asked;
    return true;
}

bool BusScanner::AskAgain(int id, Clock::duration late, const ScanReports& reports)
{
    const int lateMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(late).count());
    int ms = std::min(kLongestAskMs, protocol->ReplyTimeoutMs() + 2 * std::max(lateMs, 1));
    for (int attempt = 0; attempt < kAskings; ++attempt, ms = std::min(kLongestAskMs, 2 * ms)) {
        // Every answer still on its way (a later probe's, as late as this one's) arrives and
        // is dropped first: the asking then hears only its own. The wait covers a delayed
        // acknowledgement too (about 40 ms), for which a network server may hold an answer.
        Identity found;
        Clock::time_point asked;
        Reply reply;
        {
            ZNS::ReplyTimeout wait(*protocol, std::max(ms, kQuietMs));
            uint8_t stray[64];
            for (int got; (got = protocol->ReceiveBytes(stray, sizeof stray)) > 0;)
                NoteStrayAnswers(stray, got);
            wait.Set(ms);
            asked = Clock::now();
            reply = IdentifyServo(*protocol, catalogue, static_cast<uint8_t>(id), {}, found, true);
        }
        if (reply) {
            silent.erase(id);
            if (reports.found)
                reports.found(id, found);
            return true;
        }
        silent[id] = asked;
        lastAskDamaged = reply.outcome == Outcome::Damaged && reply.damage != Damage::Id;
        // Silence is an answer; only an answer late again is worth a longer wait.
        if (reply.outcome == Outcome::PortGone ||
            !(reply.partial || reply.outcome == Outcome::Damaged || protocol->ChannelWaiting() > 0))
            return false;
    }
    return false;
}

void BusScanner::NoteStrayAnswers(const uint8_t* bytes, int n)
{
    // A stray answer's head, FF FF and its ID, names a silent servo that did answer.
    for (int i = 0; i + 2 < n; ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xFF && bytes[i + 2] != 0xFF &&
            silent.contains(bytes[i + 2]) &&
            std::find(heardLate.begin(), heardLate.end(), bytes[i + 2]) == heardLate.end())
            heardLate.push_back(bytes[i + 2]);
}

void BusScanner::AskHeardLate(const ScanReports& reports)
{
    // Each is asked once; one that keeps silence stays silent.
    for (size_t i = 0; i < heardLate.size() && i < kStrayAskings; ++i) {
        const int id = heardLate[i];
        const auto since = silent.find(id);
        if (since != silent.end())
            AskAgain(id, Clock::now() - since->second, reports);
    }
    heardLate.clear();
}

void ScanBus(ZNS& protocol, ModelCatalogue& catalogue, int first, int last, const ScanReports& reports,
             bool askLateAgain)
{
    BusScanner scanner(catalogue, askLateAgain);
    for (int id = first; id <= last; ++id) {
        if (reports.probing && !reports.probing(id))
            break;
        if (!scanner.Probe(protocol, id, reports))
            break;
    }
}
