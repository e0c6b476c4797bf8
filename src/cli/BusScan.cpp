#include "cli/BusScan.h"

#include "cli/CtlCommand.h"
#include "servo/AutoTimeout.h"
#include "words/ConsoleWords.h"
#include "servo/Scan.h"
#include "support/BaudRates.h"

#include <ostream>
#include <string>

namespace {

// The number of servos found.
int ScanAtPresentRate(Session& s, const ScanOptions& options, int rate)
{
    int count = 0;
    ScanReports reports;
    reports.found = [&](int id, const Identity& found) {
        ++count;
        s.out << id << "\t" << found.model;
        if (options.allRates)
            s.out << "\t" << rate;
        s.out << std::endl;
    };
    reports.doubled = [&](int id) {
        s.err << "servoctl: " << DoubledIdText(id) << std::endl;
        s.bus.Traffic().Note({}, DoubledIdText(id));
    };
    ScanBus(s.access->protocol, s.catalogue, options.from, options.to, reports, true);
    return count;
}

// An empty scan is said, with what was tried, rather than printing nothing.
void SayNoneFound(Session& s, const ScanOptions& options, const std::string& rates)
{
    s.err << "servoctl: no servo answered on " << s.portName << " at " << rates << " (IDs "
          << options.from << ".." << options.to << ")\n";
}

}  // namespace

int RunScan(Session& s, const ScanOptions& options)
{
    const PortFacts port = s.bus.Facts();
    if (!options.allRates) {
        if (ScanAtPresentRate(s, options, port.Rate()) == 0)
            SayNoneFound(s, options, std::to_string(port.Rate()) + " baud");
        return kCtlDone;
    }
    bool refused = false;
    int found = 0;
    for (const int rate : kBaudRates) {
        // The rate change is a job of its own inside the command's (it runs at once).
        s.bus.Run(JobKind::Search, [&](BusAccess& access) {
            if (options.autoTimeout)
                access.SetTimeoutMs(AutoTimeoutMs(kIdentifyExchange, rate, port.Timing()));
            access.SetRate(rate);
        });
        if (port.RateRefused()) {
            // Servos found now would be listed at a rate the line doesn't run at.
            s.err << "servoctl: " << RefusedRateText(port, s.portName, rate) << "; not scanned\n";
            refused = true;
            continue;
        }
        found += ScanAtPresentRate(s, options, rate);
    }
    if (found == 0)
        SayNoneFound(s, options, "any rate of the baud list");
    // A raw TCP port cannot scan at every rate: the command did not do what was asked.
    return refused && port.Rates() == RateControl::Fixed ? kCtlBusFailed : kCtlDone;
}
