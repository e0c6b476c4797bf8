#pragma once
// What servoctl's commands share: the checked numbers of a command line, the session on the
// open port, and the shape of a command group's command (one file per group).

#include "catalogue/ModelCatalogue.h"
#include "cli/ServoCtl.h"
#include "bus/ServoBus.h"
#include "servo/AutoTimeout.h"
#include "servo/Identify.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// Numbers of the command line, checked against their fields; the first failure is kept.
struct Checker {
    std::string error;
    long long Get(const std::string& text, const std::string& what, long long low, long long high);
    void Fail(const std::string& message);
};

// A command's session: the bus owner over the port, the catalogue, and what the servo's
// identification read gave. A command's exchanges run as jobs on the bus's thread.
class Session {
public:
    Session(const std::string& catalogueFile, std::ostream& o, std::ostream& e)
        : out(o), err(e), catalogue(catalogueFile) {}

    // Inside the command's job: the time-out kept, the port opened at `rate`. A port another
    // program shares is attached to (unless `exclusive`) and said so on stderr; there the
    // owner's rate stands when no rate was given (`rateGiven` false).
    int Open(BusAccess& access, const std::string& port, int rate, int timeoutMs,
             bool exclusive = false, bool rateGiven = true);
    // Every packet in and out, decoded, one line each on `err` (--trace).
    void Trace();

    // How the servo a command goes to is coded, as a click in the main window's servo list
    // would take it, unless the options give it.
    int Identify(uint8_t id, const ProfileOptions& options);

    // One line on stderr naming the servo; returns the bus-failure status.
    int Fail(int id, const std::string& what);
    // The same, naming what the exchange `what` came to: "servo 3: no answer within 100 ms".
    int Fail(int id, const Reply& reply, const std::string& what = {});
    // A non-zero error byte of an answered reply, named on stderr.
    void NoteError(int id, const Reply& reply);

    std::ostream& out;
    std::ostream& err;
    ServoBus bus;
    // The command's job while it runs (the dispatch sets it around `run`): the port and the
    // protocol of the command's exchanges.
    BusAccess* access = nullptr;
    ModelCatalogue catalogue;
    Identity identity;
    bool autoTimeout = false;  // -t auto
    ProfileOptions options;    // --byte-order, --status-level, --position-address
    std::string portName;      // as given to Open
};

// A command: its subcommand, a check of its own arguments that runs before anything is
// opened (failures go to the Checker, and nothing is sent), the longest exchange it makes
// (for -t auto; none: the longest packet), and its run on the open port, after the
// identification read unless `identify` is false.
struct CtlCommand {
    CLI::App* sub = nullptr;
    std::function<void(Checker&)> check;
    std::function<Exchange()> exchange;
    std::function<int(Session&)> run;
    bool identify = true;
    // Whether the command needs the port at all; without it, `run` gets a session whose port
    // stays closed.
    bool port = true;
    // The ID the identification read goes to.
    std::function<int()> servoId;
    // The command holds the port for others (serve): it is opened for this program alone,
    // and `run` goes on outside the bus's job.
    bool holdsPort = false;
    // The command runs its own bus jobs (a periodic one among them): the port is opened in
    // a job of its own, and `run` goes on outside it; no identification read is made.
    bool ownJobs = false;
};

// The groups: each adds its subcommands to the app and its commands to the list.
void AddBusCommands(CLI::App& app, std::vector<CtlCommand>& commands);
void AddMonitorCommands(CLI::App& app, std::vector<CtlCommand>& commands);
void AddProgramCommands(CLI::App& app, std::vector<CtlCommand>& commands);
void AddUpgradeCommands(CLI::App& app, std::vector<CtlCommand>& commands);
void AddStepCommands(CLI::App& app, std::vector<CtlCommand>& commands);
void AddShareCommands(CLI::App& app, std::vector<CtlCommand>& commands);
void AddMotionCommands(CLI::App& app, std::vector<CtlCommand>& commands);
void AddCalibrateCommands(CLI::App& app, std::vector<CtlCommand>& commands);
void AddHealthCommands(CLI::App& app, std::vector<CtlCommand>& commands);
