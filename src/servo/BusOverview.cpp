#include "servo/BusOverview.h"

#include "servo/AutoTimeout.h"
#include "servo/Scan.h"
#include "support/BaudRates.h"

#include <algorithm>
#include <map>

std::vector<ScanFinding> ScanEveryRate(BusAccess& access, ModelCatalogue& catalogue,
                                       const std::function<bool(int rate, int id)>& probing)
{
    std::vector<ScanFinding> found;
    const int present = access.Facts().Rate();
    bool stopped = false;
    for (const int rate : kBaudRates) {
        access.SetRate(rate);
        if (access.Facts().RateRefused())
            continue;  // servos found now would be listed at a rate the line doesn't run at
        // Kept for the rate's scan (an asking again returns to it), the port's own after it.
        const KeptTimeout timeout(access, AutoTimeoutMs(kIdentifyExchange, rate, access.Facts().Timing()));
        ScanReports reports;
        reports.probing = [&](int id) {
            stopped = access.Stopping() || (probing && !probing(rate, id));
            return !stopped;
        };
        reports.found = [&](int id, const Identity& identity) { found.push_back({id, rate, false, identity}); };
        reports.doubled = [&](int id) { found.push_back({id, rate, true, {}}); };
        ScanBus(access.protocol, catalogue, 0, 253, reports, true);
        if (stopped || access.Facts().Gone())
            break;
    }
    access.SetRate(WatchedRate(found, present));
    return found;
}

int WatchedRate(const std::vector<ScanFinding>& found, int present)
{
    std::map<int, int> servos;  // rate: how many answered there
    for (const ScanFinding& f : found)
        ++servos[f.rate];
    if (servos.empty() || servos.contains(present))
        return present;
    int best = present, most = 0;
    for (const int rate : kBaudRates)  // fastest first: a tie goes to the faster
        if (servos[rate] > most) {
            most = servos[rate];
            best = rate;
        }
    return best;
}

std::vector<OverviewServo> WatchServos(ZNS& protocol, ModelCatalogue& catalogue, const std::vector<int>& ids)
{
    std::vector<OverviewServo> watched;
    for (const int id : ids) {
        OverviewServo s;
        s.id = id;
        IdentifyServo(protocol, catalogue, static_cast<uint8_t>(id), {}, s.identity, true);
        s.limits = ReadHealthLimits(protocol, catalogue, static_cast<uint8_t>(id), s.identity);
        watched.push_back(std::move(s));
    }
    return watched;
}

std::vector<OverviewServo> FindServos(ZNS& protocol, ModelCatalogue& catalogue, const std::vector<int>& ids,
                                      const std::function<void(int id)>& doubled,
                                      const std::function<bool(int id)>& probing)
{
    if (!ids.empty())
        return WatchServos(protocol, catalogue, ids);
    std::vector<OverviewServo> found;
    ScanReports reports;
    reports.found = [&](int id, const Identity& identity) {
        OverviewServo s;
        s.id = id;
        s.identity = identity;
        found.push_back(std::move(s));
    };
    reports.doubled = doubled;
    if (probing)
        reports.probing = probing;
    ScanBus(protocol, catalogue, 0, 253, reports, true);
    for (OverviewServo& s : found)
        s.limits = ReadHealthLimits(protocol, catalogue, static_cast<uint8_t>(s.id), s.identity);
    return found;
}

bool IdentifyLate(ZNS& protocol, ModelCatalogue& catalogue, OverviewServo& servo)
{
    const auto id = static_cast<uint8_t>(servo.id);
    if (servo.doubled || servo.identity.read || !IdentifyServo(protocol, catalogue, id, {}, servo.identity, true).ok())
        return false;
    servo.limits = ReadHealthLimits(protocol, catalogue, id, servo.identity);
    return true;
}

void OverviewRound::SetServos(std::vector<OverviewServo> watched)
{
    servos.clear();
    for (OverviewServo& s : watched)
        servos.push_back({std::move(s), 0, {}});
    next = 0;
}

std::chrono::milliseconds OverviewRound::TurnPeriod(size_t count)
{
    const auto ms = count ? kRoundMs / static_cast<long long>(count) : kRoundMs;
    return std::chrono::milliseconds(std::clamp<long long>(ms, 2, 20));
}

std::optional<OverviewReading> OverviewRound::Turn(ZNS& protocol, ModelCatalogue& catalogue)
{
    const auto now = Clock::now();
    for (size_t tried = 0; tried < servos.size(); ++tried) {
        Watched& w = servos[next];
        next = (next + 1) % servos.size();
        if (w.misses >= kMissesToRest && now - w.asked < kSilentRetry)
            continue;
        w.asked = now;
        OverviewReading reading;
        reading.id = w.servo.id;
        const uint8_t id = static_cast<uint8_t>(w.servo.id);
        const Reply got = ReadFeedback(protocol, id, w.servo.identity.debug, w.servo.identity.profile, reading.feedback);
        reading.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch).count();
        reading.answered = got.ok();
        w.misses = reading.answered ? 0 : w.misses + 1;
        if (got && IdentifyLate(protocol, catalogue, w.servo))
            reading.identified = w.servo;
        return reading;
    }
    return std::nullopt;
}
