#include "cli/ServoCtl.h"

#include "catalogue/CatalogueLocation.h"
#include "cli/CtlCommand.h"
#include "serial/PortList.h"
#include "servo/AutoTimeout.h"
#include "words/ConsoleWords.h"
#include "support/BaudRates.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace {

// The options every command shares.
struct Texts {
    std::string port, baud = "115200", timeout = "100", catalogue;
    std::string byteOrder, statusLevel, positionAddress;
    bool verbose = false, trace = false, exclusive = false;
};

}  // namespace

int RunServoCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Texts t;
    CLI::App app{"Servo bus from the command line: find servos, read and write their memory, "
                 "move them.",
                 "servoctl"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "servoctl " SERVO_VERSION);
    app.failure_message(CLI::FailureMessage::help);
    app.add_option("-p,--port", t.port, "serial port, or a network port: rfc2217://HOST:PORT, "
                                        "rfc2217s://HOST:PORT, tcp://HOST:PORT (default: the "
                                        "first the window lists)")
        ->type_name("PORT");
    app.add_flag("--exclusive", t.exclusive, "open the port for this program alone: fail when "
                                             "another program holds it, rather than share its bus");
    auto* baudOption = app.add_option("-b,--baud", t.baud, "baud rate, one of the baud list")->capture_default_str()->type_name("N");
    app.add_option("-t,--timeout", t.timeout, "read and write time-out, ms; auto: "
                                                 "from the exchange, rate and adapter")->capture_default_str()->type_name("N|auto");
    app.add_option("--catalogue", t.catalogue, "model catalogue (default: setup.log here, else "
                                               "the user's, else the installed one)")->type_name("FILE");
    app.add_flag("-v,--verbose", t.verbose, "name the catalogue when it is not the working "
                                            "directory's");
    app.add_flag("--trace", t.trace, "print every packet in and out on stderr: time in us since "
                                     "the port opened, direction, operation, bytes, decoding");
    app.add_option("--byte-order", t.byteOrder, "0 low byte first, 1 high byte first")->type_name("N");
    app.add_option("--status-level", t.statusLevel, "0 servos answer no writes, 1 they do")->type_name("N");
    app.add_option("--position-address", t.positionAddress, "first address of the position block")->type_name("N");

    // The shared options may stand before or after the command: a command hands the options
    // it does not know to the program's.
    app.fallthrough();

    std::vector<CtlCommand> commands;
    AddBusCommands(app, commands);
    AddMonitorCommands(app, commands);
    AddProgramCommands(app, commands);
    AddUpgradeCommands(app, commands);
    AddStepCommands(app, commands);
    AddShareCommands(app, commands);
    AddMotionCommands(app, commands);
    AddCalibrateCommands(app, commands);
    AddHealthCommands(app, commands);

    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kCtlDone : kCtlBadUsage;
    }
    CLI::App* sub = app.get_subcommands().front();
    const CtlCommand* command = nullptr;
    for (const auto& c : commands)
        if (c.sub == sub)
            command = &c;

    // Every number is checked before anything is sent.
    Checker c;
    const int rate = static_cast<int>(c.Get(t.baud, "baud rate", 1, 1000000));
    if (c.error.empty() && BaudCodeOfRate(rate) < 0)
        c.Fail("baud rate must be one of 1000000 500000 250000 128000 115200 76800 57600 38400");
    const bool autoTimeout = t.timeout == "auto";
    const int timeoutMs =
        autoTimeout ? 100 : static_cast<int>(c.Get(t.timeout, "time-out (or auto)", 0, 60000));
    const long long byteOrder = t.byteOrder.empty() ? -1 : c.Get(t.byteOrder, "--byte-order", 0, 1);
    const long long statusLevel =
        t.statusLevel.empty() ? -1 : c.Get(t.statusLevel, "--status-level", 0, 1);
    const long long positionAddress =
        t.positionAddress.empty() ? -1 : c.Get(t.positionAddress, "--position-address", 0, 249);
    const ProfileOptions options{byteOrder, statusLevel, positionAddress};
    if (command->check)
        command->check(c);
    if (!c.error.empty()) {
        err << "servoctl: " << c.error << "\n" << sub->help();
        return kCtlBadUsage;
    }

    if (t.catalogue.empty()) {  // --catalogue wins over the search
        const CatalogueLocation found = FindCatalogue();
        t.catalogue = found.path;
        if (t.verbose && found.source != CatalogueSource::WorkingDirectory)
            err << "servoctl: " << CatalogueNote(found) << "\n";
    }

    if (!command->port) {
        Session s(t.catalogue, out, err);
        return command->run(s);
    }

    std::string port = t.port;
    if (port.empty()) {
        PortList probe;
        if (probe.EnumeratePorts() <= 0) {
            err << "servoctl: no serial port found; name one with -p\n";
            return kCtlBusFailed;
        }
        port = probe.PortNames().back();
    }
    // The port's opening and the command's exchanges are one job on the bus's thread; this
    // thread waits for it.
    Session s(t.catalogue, out, err);
    if (t.trace)
        s.Trace();
    s.autoTimeout = autoTimeout;
    s.options = options;
    // Without -b a shared bus is used at its owner's rate.
    const bool rateGiven = baudOption->count() > 0;
    if (command->holdsPort) {
        const int r = s.bus.Run(JobKind::Command, [&](BusAccess& access) {
            return s.Open(access, port, rate, timeoutMs, true);
        });
        const int status = r != kCtlDone ? r : command->run(s);
        if (s.bus.EchoFound())
            err << "servoctl: " << port << ": " << EchoFoundText() << "\n";
        return status;
    }
    if (command->ownJobs) {
        const int r = s.bus.Run(JobKind::Command, [&](BusAccess& access) {
            const int opened = s.Open(access, port, rate, timeoutMs, t.exclusive, rateGiven);
            if (opened == kCtlDone && autoTimeout) {
                const Exchange exchange = command->exchange ? command->exchange() : kLongestExchange;
                access.SetTimeoutMs(AutoTimeoutMs(exchange, rate, access.Facts().Timing()));
            }
            return opened;
        });
        if (r != kCtlDone)
            return r;
        const int done = command->run(s);
        if (s.bus.EchoFound())
            err << "servoctl: " << port << ": " << EchoFoundText() << "\n";
        if (done == kCtlDone && s.bus.Facts().Gone()) {
            err << "servoctl: " << port << ": port gone\n";
            return kCtlBusFailed;
        }
        return done;
    }
    const int status = s.bus.Run(JobKind::Command, [&](BusAccess& access) -> int {
        // The command reaches the bus through this job's access while the job runs.
        s.access = &access;
        struct Done {
            Session& s;
            ~Done() { s.access = nullptr; }
        } done{s};
        if (const int r = s.Open(access, port, rate, timeoutMs, t.exclusive, rateGiven); r != kCtlDone)
            return r;
        if (autoTimeout) {
            const Exchange exchange = command->exchange ? command->exchange() : kLongestExchange;
            access.SetTimeoutMs(AutoTimeoutMs(exchange, rate, access.Facts().Timing()));
        }
        if (command->identify) {
            const int id = command->servoId ? command->servoId() : 0;
            if (const int r = s.Identify(static_cast<uint8_t>(id), options); r != kCtlDone)
                return r;
        }
        const int r = command->run(s);
        // A port that went away mid-command (an adapter pulled, a server gone) fails it,
        // however much of it got done.
        if (r == kCtlDone && access.Facts().Gone()) {
            err << "servoctl: " << port << ": port gone\n";
            return kCtlBusFailed;
        }
        return r;
    });
    if (s.bus.EchoFound())
        err << "servoctl: " << port << ": " << EchoFoundText() << "\n";
    return status;
}
