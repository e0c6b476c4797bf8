// The step test and the sweep on one servo: one bus job each, the original values written
// back however it ends (Ctrl-C included: the job stops at its next read, restores, and the
// KeyboardInterrupt is raised after it).
#include "Bindings.h"

#include "Errors.h"
#include "Waiting.h"
#include "servo/ServoProgram.h"

#include <cmath>

namespace servobus {

namespace {

py::object OrNone(double value)
{
    return std::isnan(value) ? py::none() : py::cast(value);
}

std::string Failure(const SweepReport& report)
{
    switch (report.end) {
    case StepEnd::NoAnswer: return "stopped answering during the step test";
    case StepEnd::WriteFailed: return "did not take a write of the step test";
    case StepEnd::NoTable: return "the catalogue has no memory table for this model";
    case StepEnd::PortGone: return "port gone";
    case StepEnd::Stopped: return "the step test was stopped";
    default: return {};
    }
}

}  // namespace

std::vector<StepResult> Servo::Sweep(const py::dict& swept, int to, std::optional<int> from,
                                     double duration, int repeat, int speed, int time,
                                     int acceleration)
{
    StepSettings settings;
    settings.id = id;
    settings.to = static_cast<int>(Checked(to, "to", -30719, 30719));
    if (from)
        settings.from = static_cast<int>(Checked(*from, "from_", -30719, 30719));
    if (!(duration >= 0.01 && duration <= 600))
        throw py::value_error("duration must lie from 0.01 to 600 s");
    settings.duration = std::chrono::milliseconds(std::lround(duration * 1000));
    settings.repeat = static_cast<int>(Checked(repeat, "repeat", 1, 1000));
    CheckedMotion(acceleration, speed, time);
    settings.speed = speed;
    settings.time = time;
    settings.acceleration = acceleration;
    std::vector<SweepAxis> axes;
    for (const auto& [key, values] : swept) {
        SweepAxis axis;
        axis.address = static_cast<int>(Checked(key.cast<long long>(), "address", 0, 254));
        for (const py::handle v : values)
            axis.values.push_back(static_cast<int>(Checked(v.cast<long long>(), "value", -32768, 65535)));
        if (axis.values.empty())
            throw py::value_error("address " + std::to_string(axis.address) + " has no values");
        axes.push_back(std::move(axis));
    }

    struct Out {
        Reply identified = Reply::Answered();
        Identity identity;
        SweepReport report;
    };
    PortCore& c = *core;
    const std::optional<Identity> known = identity;
    const ProfileOptions o = options;
    const int sid = id;
    std::atomic<bool> stop{false};
    std::function<Out(BusAccess&)> job = [&](BusAccess& access) {
        Out out;
        c.Prepare(access, kLongestExchange);
        if (known && (known->read || axes.empty())) {
            out.identity = *known;
        } else {
            // A sweep needs the identification bytes (for the memory table) whatever the
            // options say.
            out.identified = IdentifyServo(access.protocol, c.catalogue, static_cast<uint8_t>(sid), o,
                                           out.identity, !axes.empty());
            if (!out.identified)
                return out;
        }
        ServoProgram program(c.catalogue);
        program.SelectServo(sid, out.identity.key, out.identity.profile);
        out.report = RunStepSweep(access, program, DebugTarget{out.identity.profile, out.identity.debug},
                                  settings, axes, {}, stop);
        c.Prepare(access, kLongestExchange);
        return out;
    };
    Out out = RunInterruptible<Out>(*c.bus, JobKind::Test, job, stop, {});
    if (!out.identified)
        RaiseReply(out.identified, id, c.TimeoutMs(), "the identification read");
    identity = out.identity;

    const SweepReport& report = out.report;
    const ErrorClasses& e = Errors();
    std::string unrestored;
    for (const StepRestore& r : report.restores)
        if (!r.restored)
            unrestored += "; address " + std::to_string(r.address) +
                          " may still hold a swept value, its original is " + std::to_string(r.original);
    if (report.torque && !report.torque->restored)
        unrestored += "; the torque is still on, it was off before";
    if (report.end == StepEnd::Refused) {
        if (report.refusal.rfind("address", 0) == 0)
            throw py::value_error(report.refusal);
        Raise(e.rangeRefused, report.refusal, id);
    }
    if (report.end != StepEnd::Done || !unrestored.empty()) {
        const std::string what = report.end != StepEnd::Done ? Failure(report) : "the step test ended";
        const py::object& cls = report.end == StepEnd::NoAnswer ? e.noAnswer
                                : report.end == StepEnd::PortGone ? e.port
                                                                  : e.base;
        Raise(cls, "servo " + std::to_string(id) + ": " + what + unrestored, id, what);
    }
    std::vector<StepResult> results;
    for (const StepRun& run : report.runs)
        results.push_back({run, axes});
    return results;
}

StepResult Servo::Step(int to, std::optional<int> from, double duration, int speed, int time,
                       int acceleration)
{
    return Sweep(py::dict(), to, from, duration, 1, speed, time, acceleration).front();
}

void AddStep(py::module_& m)
{
    using S = StepSample;
    py::class_<S>(m, "StepSample", "One feedback read of a step test.")
        .def_readonly("time_ms", &S::ms, "Milliseconds from the step command.")
        .def_readonly("answered", &S::answered, "Whether the servo answered this read.")
        .def_property_readonly("position", [](const S& s) { return s.values.position; }, "Position.")
        .def_property_readonly("speed", [](const S& s) { return s.values.speed; }, "Speed, unscaled.")
        .def_property_readonly("load", [](const S& s) { return s.values.load; }, "Load.")
        .def_property_readonly("current", [](const S& s) { return s.values.current; }, "Current.")
        .def_property_readonly("voltage", [](const S& s) { return s.values.voltage / 10.0; }, "Volts.")
        .def_property_readonly("temperature", [](const S& s) { return s.values.temperature; },
                               "Degrees.")
        .def_property_readonly("status", [](const S& s) { return s.values.status; }, "Fault bits.")
        .def("__repr__", [](const S& s) {
            return "StepSample(time_ms=" + StepFigureText(s.ms) + ", position=" +
                   std::to_string(s.values.position) + ")";
        });

    using R = StepResult;
    py::class_<R>(m, "StepResult", "The figures and samples of one step test.")
        .def_property_readonly("run", [](const R& r) { return r.run.index + 1; }, "Run number, from 1.")
        .def_property_readonly("values", [](const R& r) {
            py::dict d;
            for (size_t a = 0; a < r.axes.size() && a < r.run.values.size(); ++a)
                d[py::int_(r.axes[a].address)] = r.run.values[a];
            return d;
        }, "The swept values of this run, by address.")
        .def_property_readonly("dead_ms", [](const R& r) { return OrNone(r.run.figures.deadMs); },
                               "Until the position left the start's band; None: never.")
        .def_property_readonly("rise_ms", [](const R& r) { return OrNone(r.run.figures.riseMs); },
                               "From 10 % to 90 % of the step; None: never got to 90 %.")
        .def_property_readonly("overshoot_pct", [](const R& r) { return r.run.figures.overshootPct; },
                               "Past the target, in % of the step.")
        .def_property_readonly("settling_ms", [](const R& r) {
            return r.run.figures.settled ? OrNone(r.run.figures.settlingMs) : py::none();
        }, "Until it stayed within ±2 % of the step (at least ±2); None: never settled.")
        .def_property_readonly("steady_error", [](const R& r) { return OrNone(r.run.figures.steadyError); },
                               "Mean position of the last 10 % less the target, in counts.")
        .def_property_readonly("peak_load", [](const R& r) { return r.run.figures.peakLoad; },
                               "Largest load magnitude.")
        .def_property_readonly("peak_current", [](const R& r) { return r.run.figures.peakCurrent; },
                               "Largest current magnitude.")
        .def_property_readonly("reached", [](const R& r) { return r.run.figures.reached; },
                               "Whether it entered the target band.")
        .def_property_readonly("start", [](const R& r) { return r.run.figures.start; },
                               "Position at the step command.")
        .def_property_readonly("target", [](const R& r) { return r.run.figures.target; }, "Target.")
        .def_property_readonly("samples", [](const R& r) { return r.run.samples; },
                               "Every read of the run, in time order.")
        .def("__repr__", [](const R& r) {
            const StepFigures& f = r.run.figures;
            return "StepResult(run=" + std::to_string(r.run.index + 1) + ", rise_ms=" +
                   StepFigureText(f.riseMs) + ", overshoot_pct=" + StepFigureText(f.overshootPct) +
                   ", settling_ms=" + StepFigureText(f.settled ? f.settlingMs : StepFigures::kNone) +
                   ", steady_error=" + StepFigureText(f.steadyError) + ")";
        });
}

}  // namespace servobus
