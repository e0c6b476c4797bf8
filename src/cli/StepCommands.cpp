// servoctl's step command: the step test, once or swept over memory values, with its figures
// per run and every sample to a CSV file.
#include "cli/CtlCommand.h"
#include "cli/NumberArg.h"
#include "cli/StopSignals.h"

#include "servo/ServoProgram.h"
#include "servo/StepTest.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace {

struct StepArgs {
    std::string id, to, from, duration = "1", repeat = "1", csv;
    std::vector<std::string> sets;
    StepSettings settings;
    std::vector<SweepAxis> axes;
};

// The most runs one command makes: a grid that large is a typing error.
constexpr long long kMostRuns = 10000;

// "ADDR=V1,V2,...".
bool ParseSet(const std::string& text, SweepAxis& axis)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos)
        return false;
    const auto address = ParseNumberArg(text.substr(0, eq), 0, 254);
    if (!address)
        return false;
    axis.address = static_cast<int>(*address);
    std::string rest = text.substr(eq + 1);
    for (size_t start = 0;;) {
        const auto comma = rest.find(',', start);
        const auto value = ParseNumberArg(rest.substr(start, comma - start), -32768, 65535);
        if (!value)
            return false;
        axis.values.push_back(static_cast<int>(*value));
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

void Check(StepArgs& a, Checker& c)
{
    a.settings.id = static_cast<int>(c.Get(a.id, "ID", 0, 253));
    a.settings.to = static_cast<int>(c.Get(a.to, "--to", -30719, 30719));
    if (!a.from.empty())
        a.settings.from = static_cast<int>(c.Get(a.from, "--from", -30719, 30719));
    if (const auto seconds = ParseDecimalArg(a.duration, 0.01, 600))
        a.settings.duration = std::chrono::milliseconds(std::lround(*seconds * 1000));
    else
        c.Fail("--duration must be 0.01..600 seconds, not \"" + a.duration + "\"");
    a.settings.repeat = static_cast<int>(c.Get(a.repeat, "--repeat", 1, 1000));
    long long runs = a.settings.repeat;
    for (const std::string& text : a.sets) {
        SweepAxis axis;
        if (!ParseSet(text, axis)) {
            c.Fail("--set wants ADDR=V1,V2,... with numbers, not \"" + text + "\"");
            return;
        }
        for (const SweepAxis& other : a.axes)
            if (other.address == axis.address)
                c.Fail("--set names address " + std::to_string(axis.address) + " twice");
        runs *= static_cast<long long>(axis.values.size());
        if (runs > kMostRuns)
            c.Fail("the sweep would make more than " + std::to_string(kMostRuns) + " runs");
        a.axes.push_back(std::move(axis));
    }
}

const char* EndText(StepEnd end)
{
    switch (end) {
    case StepEnd::NoAnswer: return "stopped answering";
    case StepEnd::WriteFailed: return "did not take a write";
    case StepEnd::NoTable: return "the catalogue has no memory table for this model";
    case StepEnd::PortGone: return "port gone";
    default: return "";
    }
}

int Step(Session& s, const StepArgs& a)
{
    const StopSignals signals;
    const int id = a.settings.id;
    std::ofstream csv;
    if (!a.csv.empty()) {
        csv.open(a.csv, std::ios::trunc);
        if (!csv) {
            s.err << "servoctl: cannot write " << a.csv << "\n";
            return kCtlBadUsage;
        }
        csv << StepCsvHeader(a.axes) << '\n';
    }
    ServoProgram program(s.catalogue);
    program.SelectServo(id, s.identity.key, s.identity.profile);
    const DebugTarget target{s.identity.profile, s.identity.debug};

    s.out << StepRunColumns(a.axes) << kStepFigureColumns << std::endl;
    StepCallbacks callbacks;
    callbacks.runDone = [&](const StepRun& run) {
        s.out << StepRunRow(run) << std::endl;
        if (csv.is_open()) {
            for (const StepSample& sample : run.samples)
                csv << StepCsvRow(run, sample) << '\n';
            csv.flush();
        }
    };
    const SweepReport report = s.bus.Run(JobKind::Test, [&](BusAccess& access) {
        return RunStepSweep(access, program, target, a.settings, a.axes, callbacks, StopSignals::Flag());
    });

    int status = kCtlDone;
    if (report.end == StepEnd::Refused) {
        s.err << "servoctl: " << report.refusal << "\n";
        status = kCtlBadUsage;
    } else if (report.end == StepEnd::Stopped) {
        s.err << "servoctl: stopped after " << report.runs.size() << " run(s)\n";
        status = kCtlBusFailed;
    } else if (report.end != StepEnd::Done) {
        status = s.Fail(id, EndText(report.end));
    }
    for (const StepRun& run : report.runs)
        if (run.end == StepEnd::Done && !run.figures.reached) {
            s.err << "servoctl: servo " << id << ": run " << run.index + 1
                  << " never reached its target band (" << run.figures.target << " ± "
                  << run.figures.band << ") within " << a.settings.duration.count() << " ms\n";
            status = kCtlBusFailed;
        }
    for (const StepRestore& r : report.restores)
        if (!r.restored) {
            s.err << "servoctl: servo " << id << ": address " << r.address
                  << " may still hold a swept value; its original is " << r.original << "\n";
            status = kCtlBusFailed;
        }
    if (report.torque && !report.torque->restored) {
        s.err << "servoctl: servo " << id << ": the torque is still on; it was off before\n";
        status = kCtlBusFailed;
    }
    return status;
}

}  // namespace

void AddStepCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    auto a = std::make_shared<StepArgs>();
    auto* sub = app.add_subcommand(
        "step", "step test: move to --from, settle, step to --to and read back to back; one "
                "row of figures per run, and the original values written back at the end");
    sub->add_option("ID", a->id)->required()->type_name("N");
    sub->add_option("--to", a->to, "target position of the step")->required()->type_name("POS");
    sub->add_option("--from", a->from, "start position, moved to and settled at first "
                                       "(default: where the servo stands)")
        ->type_name("POS");
    sub->add_option("--duration", a->duration, "seconds read after the step")
        ->capture_default_str()
        ->type_name("S");
    sub->add_option("--repeat", a->repeat, "runs per value")->capture_default_str()->type_name("N");
    sub->add_option("--set", a->sets, "sweep a memory address over values, one run (or "
                                      "--repeat runs) each; several --set make a grid")
        ->type_name("ADDR=V1,V2,...");
    sub->add_option("--csv", a->csv, "write every sample of every run to FILE, with a run column")
        ->type_name("FILE");

    CtlCommand c;
    c.sub = sub;
    c.check = [a](Checker& check) { Check(*a, check); };
    c.servoId = [a] { return a->settings.id; };
    c.run = [a](Session& s) { return Step(s, *a); };
    commands.push_back(std::move(c));
}
