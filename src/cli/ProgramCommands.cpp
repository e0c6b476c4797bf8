// servoctl's table, set, save, load and the resets commands: the programming page's own
// logic, one servo per command.
#include "cli/CtlCommand.h"

#include "cli/NumberArg.h"
#include "words/ConsoleWords.h"
#include "servo/ParameterFile.h"
#include "servo/ProgramTexts.h"
#include "servo/ServoProgram.h"
#include "servo/ValueCoding.h"
#include "support/BaudRates.h"
#include "support/LeadingInt.h"

#include <CLI/CLI.hpp>

#include <climits>
#include <memory>

namespace {

struct ProgramArgs {
    std::string id, item, value, file;
    bool yes = false;
    int servoId = 0;
    int address = -1;  // -1: the item is named
    int typed = 0;
};

// The page's logic on the command line's session. The port follows a servo's new rate, and
// where the servo went is told on stderr, since the next command must be given it.
class Programmer {
public:
    Programmer(Session& s, int id) : session(s), program(s.catalogue)
    {
        program.SetBaudFollower([this](int code) { baudCode = code; });
        program.SelectServo(id, session.identity.key, session.identity.profile);
    }

    // The identification bytes (unless the session read them) and one poll: the table and a
    // fresh image. 0 when ready, else the exit status.
    int Load(int id)
    {
        if (!session.identity.read) {
            const Reply r =
                session.access->protocol.ReadMemory(static_cast<uint8_t>(id), 0, session.identity.key.data(), kIdentifySize);
            if (!r)
                return session.Fail(id, r, "the identification read");
            program.SelectServo(id, session.identity.key, session.identity.profile);
        }
        report = program.Poll(*session.access);
        if (report.status == PollReport::Status::Timeout)
            return session.Fail(id, kTimeoutText);
        if (program.MemorySize() == 0)
            return session.Fail(id, "the catalogue has no memory table for this model");
        return kCtlDone;
    }

    // A write that would have moved the servo off a shared bus's rate, said in the owner's
    // words; else `failed`.
    int Failed(const char* failed)
    {
        const PortFacts port = session.bus.Facts();
        if (program.RateChangeRefused())
            session.err << "servoctl: " << SharedBusText(port.SharedBy(), port.Rate(), "change the rate") << "\n";
        else
            session.err << failed << "\n";
        return kCtlBusFailed;
    }

    void TellWhereItWent()
    {
        if (baudCode >= 0 && session.bus.Facts().RateRefused())
            session.err << "servoctl: "
                        << RefusedRateText(session.bus.Facts(), session.portName, BaudRateOfCode(baudCode))
                        << "\n";
        session.err << "servoctl: the servo is now ID " << program.SelectedId();
        if (baudCode < 0)
            session.err << " at " << session.bus.Facts().Rate() << " baud\n";
        else if (BaudRateOfCode(baudCode))
            session.err << " at " << BaudRateOfCode(baudCode) << " baud\n";
        else
            session.err << " at baud-rate code " << baudCode << ", outside the baud list\n";
    }

    Session& session;
    ServoProgram program;
    PollReport report;
    int baudCode = -1;
};

int Table(Session& s, const ProgramArgs& a)
{
    Programmer p(s, a.servoId);
    if (const int r = p.Load(a.servoId); r != kCtlDone)
        return r;
    const auto rows = p.program.Rows();
    std::vector<std::string> shown(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        shown[i] = rows[i].initialValue;
    for (const auto& [row, value] : p.report.values)
        shown[static_cast<size_t>(row)] = value;
    for (size_t i = 0; i < rows.size(); ++i)
        s.out << rows[i].address << '\t' << rows[i].name << '\t' << shown[i] << '\t'
              << rows[i].area << '\t' << rows[i].access << '\n';
    s.out << FaultLines(p.report.faults) << std::endl;
    return kCtlDone;
}

int Set(Session& s, const ProgramArgs& a)
{
    Programmer p(s, a.servoId);
    if (const int r = p.Load(a.servoId); r != kCtlDone)
        return r;
    const auto rows = p.program.Rows();
    const MemoryItem* item = nullptr;
    for (const auto& row : rows)
        if (a.address >= 0 ? LeadingInt(row.address) == a.address : row.name == a.item) {
            item = &row;
            break;
        }
    if (item == nullptr) {
        s.err << "servoctl: the memory table has no item " << a.item << "\n";
        return kCtlBadUsage;
    }
    if (item->name == text::kNoValue || !RowWritable(item->access)) {
        s.err << "servoctl: " << item->name << " (" << item->address << ") is read-only\n";
        return kCtlBadUsage;
    }
    const WriteRequest w = PrepareWrite(*item, a.typed);
    if (!w.refusal.empty()) {
        s.err << w.refusal << "\n";
        return kCtlBadUsage;
    }
    const int ok = p.program.WriteValue(*s.access, w.address, w.size, w.value, w.eprom);
    if (ok && (w.address == addr::kId || w.address == addr::kBaudCode))
        p.TellWhereItWent();
    if (ok)
        return kCtlDone;
    return p.Failed(w.eprom ? msg::kSaveFailed : msg::kSetFailed);
}

int Save(Session& s, const ProgramArgs& a)
{
    Programmer p(s, a.servoId);
    if (const int r = p.Load(a.servoId); r != kCtlDone)
        return r;
    // Load has just read the servo: its image is fresh unless the servo went silent since.
    const auto bytes = p.program.ParameterBytes();
    if (!bytes)
        return s.Fail(a.servoId, kTimeoutText);
    if (!SaveParameterFile(a.file, *bytes)) {
        s.err << msg::kCannotSaveFile << ": " << a.file << "\n";
        return kCtlBusFailed;
    }
    return kCtlDone;
}

int LoadFile(Session& s, const ProgramArgs& a)
{
    Programmer p(s, a.servoId);
    if (const int r = p.Load(a.servoId); r != kCtlDone)
        return r;
    switch (p.program.LoadParameterFile(*s.access, a.file)) {
    case LoadResult::CannotOpen:
        s.err << msg::kCannotOpenFile << ": " << a.file << "\n";
        return kCtlBadUsage;
    case LoadResult::Loaded:
        s.out << msg::kLoaded << std::endl;
        p.TellWhereItWent();
        return kCtlDone;
    case LoadResult::Failed:
        break;
    }
    return p.Failed(msg::kLoadFailed);
}

// The restore, angle reset and risk commands: no table needed.
int Special(Session& s, const ProgramArgs& a, const std::string& which)
{
    Programmer p(s, a.servoId);
    bool ok;
    const char* done;
    const char* failed;
    if (which == "restore") {
        ok = p.program.RestoreParameters(*s.access);
        done = msg::kRestored;
        failed = msg::kRestoreFailed;
    } else if (which == "reset-angle") {
        ok = p.program.ResetAngle(*s.access);
        done = msg::kAngleReset;
        failed = msg::kAngleFailed;
    } else {
        ok = p.program.RiskyOperation(*s.access);
        done = msg::kRiskDone;
        failed = msg::kRiskFailed;
    }
    if (!ok)
        return p.Failed(failed);
    s.out << done << std::endl;
    if (which == "restore")
        p.TellWhereItWent();
    return kCtlDone;
}

}  // namespace

void AddProgramCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    auto args = std::make_shared<ProgramArgs>();
    auto add = [&](const char* name, const char* help) {
        CLI::App* sub = app.add_subcommand(name, help);
        sub->add_option("ID", args->id)->required()->type_name("N");
        CtlCommand c;
        c.sub = sub;
        c.servoId = [args] { return args->servoId; };
        commands.push_back(c);
        return sub;
    };
    auto checkId = [args](Checker& c) {
        args->servoId = static_cast<int>(c.Get(args->id, "ID", 0, 253));
    };

    add("table", "the memory table with live values, then the fault flags");
    commands.back().check = checkId;
    commands.back().run = [args](Session& s) { return Table(s, *args); };

    CLI::App* set = add("set", "write one memory-table item, checked against its range");
    set->add_option("ITEM", args->item, "its address, or its name as the table shows it")
        ->required()->type_name("ADDRESS|NAME");
    set->add_option("VALUE", args->value)->required()->type_name("N")->allow_extra_args(false);
    commands.back().check = [args, checkId](Checker& c) {
        checkId(c);
        if (const auto address = ParseNumberArg(args->item, 0, 255))
            args->address = static_cast<int>(*address);
        args->typed = static_cast<int>(c.Get(args->value, "VALUE", INT_MIN, INT_MAX));
    };
    commands.back().run = [args](Session& s) { return Set(s, *args); };

    CLI::App* save = add("save", "save the servo's EPROM block to a parameter file");
    save->add_option("FILE", args->file)->required()->type_name("FILE");
    commands.back().check = checkId;
    commands.back().run = [args](Session& s) { return Save(s, *args); };

    CLI::App* load = add("load", "write a parameter file into the servo");
    load->add_option("FILE", args->file)->required()->type_name("FILE");
    commands.back().check = checkId;
    commands.back().run = [args](Session& s) { return LoadFile(s, *args); };

    for (const char* name : {"restore", "reset-angle", "risky"}) {
        CLI::App* sub = add(name, std::string(name) == "restore"
                                      ? "restore the factory parameters (ID 1, 115200 baud)"
                                  : std::string(name) == "reset-angle"
                                      ? "reset the angle: clear the turn count"
                                      : "the risky operation; may damage the servo");
        if (std::string(name) == "risky") {
            sub->add_flag("--yes", args->yes, "confirm the risk");
            commands.back().check = [args, checkId](Checker& c) {
                checkId(c);
                if (!args->yes)
                    c.Fail("risky may damage the servo: confirm with --yes");
            };
        } else {
            commands.back().check = checkId;
        }
        commands.back().run = [args, which = std::string(name)](Session& s) {
            return Special(s, *args, which);
        };
    }
}
