#include "cli/BusScan.h"

#include "cli/CtlCommand.h"
#include "servo/AutoTimeout.h"
#include "servo/ConsoleWords.h"
#include "servo/Scan.h"
#include "support/BaudRates.h"

#include <ostream>

namespace {

void ScanAtPresentRate(Session& s, const ScanOptions& options, int rate)
{
    ScanReports reports;
    reports.found = [&](int id, const Identity& found) {
        s.out << id << "\t" << found.model;
        if (options.allRates)
            s.out << "\t" << rate;
        s.out << std::endl;
    };
    reports.doubled = [&](int id) {
        s.err << "servoctl: " << DoubledIdText(id) << std::endl;
        s.bus.Traffic().Note({}, DoubledIdText(id));
    };
    ScanBus(s.servo, s.catalogue, options.from, options.to, reports, true);
}

}  // namespace

int RunScan(Session& s, const ScanOptions& options)
{
    const PortFacts port = s.bus.Facts();
    if (!options.allRates) {
        ScanAtPresentRate(s, options, port.Rate());
        return kCtlDone;
    }
    bool refused = false;
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
        ScanAtPresentRate(s, options, rate);
    }
    // A raw TCP port cannot scan at every rate: the command did not do what was asked.
    return refused && port.Rates() == RateControl::Fixed ? kCtlBusFailed : kCtlDone;
}
