// servoctl's calibrate command: the middle, the travel and undo, for one servo or a whole
// robot; one row per ID on stdout, what was refused or failed on stderr.
#include "cli/CtlCommand.h"
#include "cli/NumberArg.h"
#include "cli/EnterKey.h"
#include "cli/StopSignals.h"

#include "servo/Calibration.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

struct CalibrateArgs {
    std::vector<std::string> idTexts;
    std::vector<uint8_t> ids;
    std::string to, duration, margin = "0";
    bool dryRun = false;
    bool yes = false;
    CalibrationOptions options;
    std::chrono::milliseconds recordFor{0};
    CLI::App* middle = nullptr;
    CLI::App* travel = nullptr;
    CLI::App* undo = nullptr;
};

void Check(CalibrateArgs& a, Checker& c)
{
    a.ids.clear();
    for (const std::string& text : a.idTexts) {
        const auto id = static_cast<uint8_t>(c.Get(text, "ID", 0, 253));
        for (const uint8_t other : a.ids)
            if (other == id && c.error.empty())
                c.Fail("ID " + text + " is named twice");
        a.ids.push_back(id);
    }
    if (!a.to.empty())
        a.options.to = static_cast<int>(c.Get(a.to, "--to", 0, 32767));
    a.options.margin = static_cast<int>(c.Get(a.margin, "--margin", 0, 32767));
    a.options.dryRun = a.dryRun;
    if (!a.duration.empty()) {
        if (const auto seconds = ParseDecimalArg(a.duration, 0.1, 3600))
            a.recordFor = std::chrono::milliseconds(std::lround(*seconds * 1000));
        else
            c.Fail("--duration must be 0.1..3600 seconds, not \"" + a.duration + "\"");
    }
}

std::string Limits(int low, int high)
{
    return std::to_string(low) + ".." + std::to_string(high);
}

constexpr const char* kColumns = "ID\tOLD-CORRECTION\tNEW-CORRECTION\tOLD-LIMITS\tNEW-LIMITS\tPOSITION\tBACKUP\tSENSE";

void Row(Session& s, const CalibrationResult& r)
{
    const bool known = r.span > 0 || r.end == CalibrationEnd::Done;
    auto field = [&](const std::string& text) { return known ? text : std::string("-"); };
    s.out << r.id << '\t' << field(std::to_string(r.oldCorrection)) << '\t'
          << field(std::to_string(r.newCorrection)) << '\t' << field(Limits(r.oldLow, r.oldHigh)) << '\t'
          << field(Limits(r.newLow, r.newHigh)) << '\t'
          << (r.readBack ? std::to_string(*r.readBack) : std::string("-")) << '\t'
          << (r.backup.empty() ? std::string("-") : r.backup) << '\t'
          << (r.reversed ? "reversed" : "normal") << std::endl;
}

// What went wrong with one servo, in servoctl's words; empty when nothing did.
std::string Trouble(const CalibrationResult& r, const std::string& folder)
{
    std::ostringstream t;
    switch (r.end) {
    case CalibrationEnd::Done:
        break;
    case CalibrationEnd::NoAnswer:
        t << "no answer";
        break;
    case CalibrationEnd::NoRows:
        t << "its model (" << r.model << ") has no writable row \"" << r.missingRow
          << "\": it can't be calibrated";
        break;
    case CalibrationEnd::TargetOutOfRange:
        t << "outside its position range 0.." << r.span - 1;
        break;
    case CalibrationEnd::CorrectionOutOfRange:
        t << "the correction needed (" << r.newCorrection << ") can't be written; turn the joint to"
          << " read about " << r.turnTo << " (now " << r.position << ") and calibrate again";
        break;
    case CalibrationEnd::TorqueStuck:
        t << "its torque could not be switched off";
        break;
    case CalibrationEnd::BackupFailed:
        t << "cannot write the backup " << r.backup;
        break;
    case CalibrationEnd::WriteFailed:
        t << "did not take a write";
        break;
    case CalibrationEnd::CheckFailed:
        t << "the position reads " << (r.readBack ? std::to_string(*r.readBack) : std::string("nothing"))
          << " after the correction, not within ±" << kMiddleTolerance << " of its target";
        break;
    case CalibrationEnd::NotMoved:
        t << "the joint moved " << r.travelHigh - r.travelLow << " counts (fewer than " << kLeastTravel
          << "): turn it through its travel while recording";
        break;
    case CalibrationEnd::CrossesSeam:
        t << "the travel (" << Limits(r.travelLow, r.travelHigh) << ") crosses the seam; correction "
          << r.newCorrection << " would put the seam in the unused arc: confirm with --yes";
        break;
    case CalibrationEnd::NoBackup:
        t << "no calibration backup in " << folder;
        break;
    }
    if (r.end == CalibrationEnd::Done || r.end == CalibrationEnd::NoBackup)
        return t.str();
    if (!r.written)
        t << "; nothing written";
    else if (r.restored)
        t << "; its backup " << r.backup << " was written back";
    else if (!r.backup.empty())
        t << "; its backup could NOT be written back: load " << r.backup << " by hand";
    return t.str();
}

int Report(Session& s, const CalibrateArgs& a, const std::vector<CalibrationResult>& results)
{
    s.out << kColumns << std::endl;
    int status = kCtlDone;
    for (const CalibrationResult& r : results) {
        Row(s, r);
        if (const std::string trouble = Trouble(r, a.options.backupFolder); !trouble.empty())
            status = s.Fail(r.id, trouble);
        if (!r.torqueRestored)
            status = s.Fail(r.id, "its torque was on and could not be switched back on");
        if (r.Ok() && r.reversed)
            s.err << "servoctl: servo " << r.id << ": its correction counts the other way\n";
    }
    if (a.options.dryRun)
        s.err << "servoctl: dry run, nothing written\n";
    return status;
}

// The live positions on the terminal, a few times a second.
class LiveLine {
public:
    LiveLine(Session& s, const std::vector<uint8_t>& ids, bool shown) : session(s), ids(ids), shown(shown) {}
    ~LiveLine()
    {
        if (shown && drawn)
            session.err << "\n";
    }
    void Show(const std::vector<std::optional<int>>& readings)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!shown || now < next)
            return;
        next = now + std::chrono::milliseconds(100);
        std::ostringstream line;
        line << "\r";
        for (size_t i = 0; i < ids.size() && i < readings.size(); ++i)
            line << int(ids[i]) << ":" << (readings[i] ? std::to_string(*readings[i]) : std::string("?")) << "  ";
        line << "(Enter stops)";
        session.err << line.str() << std::flush;
        drawn = true;
    }

private:
    Session& session;
    const std::vector<uint8_t>& ids;
    bool shown;
    bool drawn = false;
    std::chrono::steady_clock::time_point next{};
};

bool AskConsent(Session& s, const CalibrationResult& r)
{
    s.err << "servoctl: servo " << r.id << ": the travel " << Limits(r.travelLow, r.travelHigh)
          << " crosses the seam; write correction " << r.newCorrection << " (limits "
          << Limits(r.newLow, r.newHigh) << " after it)? [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

int Run(Session& s, CalibrateArgs& a)
{
    ServoProgram program(s.catalogue);
    a.options.backupFolder = CalibrationFolder();
    if (a.middle->parsed()) {
        const auto results = s.bus.Run(JobKind::Command, [&](BusAccess& access) {
            return CalibrateMiddle(access, program, s.catalogue, a.ids, a.options);
        });
        return Report(s, a, results);
    }
    if (a.undo->parsed()) {
        const auto results = s.bus.Run(JobKind::Command, [&](BusAccess& access) {
            return UndoCalibration(access, program, s.catalogue, a.ids, a.options.backupFolder);
        });
        return Report(s, a, results);
    }
    const StopSignals signals;
    const bool terminal = InputIsTerminal();
    if (a.yes)
        a.options.consent = [](const CalibrationResult&) { return true; };
    else if (terminal)
        a.options.consent = [&s](const CalibrationResult& r) { return AskConsent(s, r); };
    if (!terminal && a.recordFor.count() == 0)
        s.err << "servoctl: recording until Ctrl+C\n";
    std::atomic<bool> stop{false};
    LiveLine live(s, a.ids, terminal);
    const auto results = s.bus.Run(JobKind::Test, [&](BusAccess& access) {
        return CalibrateTravel(access, program, s.catalogue, a.ids, a.recordFor, stop, a.options,
                               [&](const std::vector<std::optional<int>>& readings) {
                                   live.Show(readings);
                                   if (StopSignals::Requested() || (terminal && EnterPressed()))
                                       stop = true;
                               });
    });
    return Report(s, a, results);
}

}  // namespace

void AddCalibrateCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    auto a = std::make_shared<CalibrateArgs>();
    CLI::App* sub = app.add_subcommand(
        "calibrate", "set joints' middle and travel limits (middle, travel, undo); every "
                     "servo's EPROM block is backed up before anything is written to it");
    sub->require_subcommand(1);
    a->middle = sub->add_subcommand("middle", "with the torque off, the correction that makes "
                                              "each joint read --to where it stands");
    a->middle->add_option("ID", a->idTexts)->required()->type_name("ID...");
    a->middle->add_option("--to", a->to, "the position each joint should read "
                                         "(default: the middle of its range, 2048)")
        ->type_name("POS");
    a->middle->add_flag("--dry-run", a->dryRun, "compute and report; write nothing");

    a->travel = sub->add_subcommand("travel", "record each joint's travel as it is turned by "
                                              "hand, then write its limits");
    a->travel->add_option("ID", a->idTexts)->required()->type_name("ID...");
    a->travel->add_option("--duration", a->duration, "record this many seconds (default: until "
                                                     "Enter on a terminal, else Ctrl+C)")
        ->type_name("S");
    a->travel->add_option("--margin", a->margin, "counts added beyond each end (default 0)")
        ->type_name("N");
    a->travel->add_flag("--dry-run", a->dryRun, "record, compute and report; write nothing");
    a->travel->add_flag("--yes", a->yes, "write the correction proposed for a travel across "
                                         "the seam without asking");

    a->undo = sub->add_subcommand("undo", "write each servo's latest calibration backup back");
    a->undo->add_option("ID", a->idTexts)->required()->type_name("ID...");

    CtlCommand c;
    c.sub = sub;
    c.check = [a](Checker& check) { Check(*a, check); };
    c.identify = false;  // each servo is identified as it is calibrated
    c.run = [a](Session& s) { return Run(s, *a); };
    commands.push_back(std::move(c));
}
