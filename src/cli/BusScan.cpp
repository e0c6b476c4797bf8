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
    ScanBus(s.servo, s.catalogue, options.from, options.to, reports, true);
}

}  // namespace

int RunScan(Session& s, const ScanOptions& options)
{
    if (!options.allRates) {
        ScanAtPresentRate(s, options, s.comm.BaudRate());
        return kCtlDone;
    }
    const int latency = LinkDelayMs(s.comm.Timing());
    bool refused = false;
    for (const int rate : kBaudRates) {
        if (options.autoTimeout)
            s.comm.SetTimeoutMs(AutoTimeoutMs(kIdentifyExchange, rate, latency));
        s.comm.SetBaudRate(rate);  // puts timeoutMs in force
        if (s.comm.RateRefused()) {
            // Servos found now would be listed at a rate the line doesn't run at.
            s.err << "servoctl: " << RefusedRateText(s.comm, s.portName, rate) << "; not scanned\n";
            refused = true;
            continue;
        }
        ScanAtPresentRate(s, options, rate);
    }
    // A raw TCP port cannot scan at every rate: the command did not do what was asked.
    return refused && s.comm.Rates() == RateControl::Fixed ? kCtlBusFailed : kCtlDone;
}
