// Calibration of one servo from Python: the middle, the travel recorded, the limits and undo,
// each one bus job; what was refused or failed raises, in the module's words.
#include "Bindings.h"

#include "Errors.h"
#include "PortCore.h"
#include "Waiting.h"
#include "servo/Calibration.h"

#include <cmath>

namespace servobus {

namespace {

py::dict Facts(const CalibrationResult& r)
{
    py::dict d;
    d["id"] = r.id;
    d["old_correction"] = r.oldCorrection;
    d["new_correction"] = r.newCorrection;
    d["old_limits"] = py::make_tuple(r.oldLow, r.oldHigh);
    d["new_limits"] = py::make_tuple(r.newLow, r.newHigh);
    d["position"] = r.readBack ? py::cast(*r.readBack) : py::none();
    d["backup"] = r.backup.empty() ? py::none() : py::cast(r.backup);
    d["reversed"] = r.reversed;
    return d;
}

// Raises for anything but a done calibration.
void RaiseUnlessDone(const CalibrationResult& r, const std::string& folder)
{
    if (r.Ok() && r.torqueRestored)
        return;
    const ErrorClasses& e = Errors();
    std::string what;
    py::object cls = e.base;
    switch (r.end) {
    case CalibrationEnd::Done: what = "its torque was on and could not be switched back on"; break;
    case CalibrationEnd::NoAnswer: what = "no answer"; cls = e.noAnswer; break;
    case CalibrationEnd::NoRows:
        what = "its model (" + r.model + ") has no writable row \"" + r.missingRow + "\"";
        break;
    case CalibrationEnd::TargetOutOfRange:
        what = "outside the rows' ranges (positions 0.." + std::to_string(r.span - 1) + ")";
        cls = e.rangeRefused;
        break;
    case CalibrationEnd::CorrectionOutOfRange:
        what = "the correction needed (" + std::to_string(r.newCorrection) +
               ") can't be written; turn the joint to read about " + std::to_string(r.turnTo) +
               " (now " + std::to_string(r.position) + ") and calibrate again";
        cls = e.rangeRefused;
        break;
    case CalibrationEnd::TorqueStuck: what = "its torque could not be switched off"; break;
    case CalibrationEnd::BackupFailed: what = "cannot write the backup " + r.backup; break;
    case CalibrationEnd::WriteFailed: what = "did not take a write"; break;
    case CalibrationEnd::CheckFailed: what = "the position does not read as it should after the correction"; break;
    case CalibrationEnd::NotMoved: what = "the joint did not move"; break;
    case CalibrationEnd::CrossesSeam: what = "the travel crosses the seam"; break;
    case CalibrationEnd::NoBackup: what = "no calibration backup in " + folder; break;
    }
    std::string message = "servo " + std::to_string(r.id) + ": " + what;
    if (r.written)
        message += r.restored ? "; its backup " + r.backup + " was written back"
                              : "; its backup could not be written back: load " + r.backup;
    Raise(cls, message, r.id, what);
}

template <class F>
CalibrationResult Calibrate(Servo& servo, F&& work)
{
    PortCore& c = *servo.core;
    const auto results = RunOnBus(*c.bus, JobKind::Command, [&](BusAccess& bus) {
        c.Prepare(bus, kLongestExchange);
        ServoProgram program(*c.bus, c.catalogue);
        return work(bus, program, c.catalogue);
    });
    return results;
}

CalibrationOptions Options(bool dryRun)
{
    CalibrationOptions o;
    o.dryRun = dryRun;
    o.backupFolder = CalibrationFolder();
    return o;
}

}  // namespace

void AddCalibrate(py::module_& m)
{
    py::object cls = m.attr("Servo");
    auto method = [&](const char* name, py::cpp_function f) { cls.attr(name) = f; };
    method("calibrate_middle",
           py::cpp_function(
               [](Servo& s, std::optional<int> to, bool dryRun) {
                   CalibrationOptions o = Options(dryRun);
                   if (to)
                       o.to = static_cast<int>(Checked(*to, "to", 0, 32767));
                   const auto r = Calibrate(s, [&](BusAccess& bus, ServoProgram& p, ModelCatalogue& cat) {
                       return CalibrateMiddle(bus, p, cat, {static_cast<uint8_t>(s.id)}, o).at(0);
                   });
                   RaiseUnlessDone(r, o.backupFolder);
                   return Facts(r);
               },
               py::is_method(cls), py::arg("to") = py::none(), py::arg("dry_run") = false,
               "With the torque off, writes the correction that makes the position read `to` "
               "(default: the middle of the range) where the joint stands, and checks it; the "
               "EPROM block is backed up first. A dict of what was (or, with `dry_run`, would "
               "be) written: old/new correction and limits, the position read back, the backup "
               "file, whether the correction counts the other way."));
    method("record_travel",
           py::cpp_function(
               [](Servo& s, double duration) {
                   if (!(duration >= 0.1 && duration <= 3600))
                       throw py::value_error("duration must lie from 0.1 to 3600 s");
                   PortCore& c = *s.core;
                   std::atomic<bool> stop{false};
                   const auto length = std::chrono::milliseconds(std::lround(duration * 1000));
                   std::function<CalibrationResult(BusAccess&)> job = [&](BusAccess& bus) {
                       c.Prepare(bus, kLongestExchange);
                       ServoProgram program(*c.bus, c.catalogue);
                       return RecordTravel(bus, program, c.catalogue, {static_cast<uint8_t>(s.id)}, length, stop).at(0);
                   };
                   const CalibrationResult r = RunInterruptible<CalibrationResult>(*c.bus, JobKind::Test, job, stop, {});
                   if (r.end != CalibrationEnd::NotMoved)
                       RaiseUnlessDone(r, {});
                   return py::make_tuple(r.travelLow, r.travelHigh, r.crossesSeam);
               },
               py::is_method(cls), py::arg("duration"),
               "With the torque off, reads the position for `duration` seconds while the joint "
               "is turned by hand; (low, high, crosses_seam): the ends, unwrapped across the "
               "seam (so past the range's end when it is crossed). Nothing is written."));
    method("set_limits",
           py::cpp_function(
               [](Servo& s, int low, int high) {
                   const CalibrationOptions o = Options(false);
                   const auto r = Calibrate(s, [&](BusAccess& bus, ServoProgram& p, ModelCatalogue& cat) {
                       return SetLimits(bus, p, cat, static_cast<uint8_t>(s.id), low, high, o);
                   });
                   RaiseUnlessDone(r, o.backupFolder);
                   return Facts(r);
               },
               py::is_method(cls), py::arg("low"), py::arg("high"),
               "Writes the angle limits (backed up first) and reads them back."));
    method("undo_calibration",
           py::cpp_function(
               [](Servo& s) {
                   const std::string folder = CalibrationFolder();
                   const auto r = Calibrate(s, [&](BusAccess& bus, ServoProgram& p, ModelCatalogue& cat) {
                       return UndoCalibration(bus, p, cat, {static_cast<uint8_t>(s.id)}, folder).at(0);
                   });
                   RaiseUnlessDone(r, folder);
                   return Facts(r);
               },
               py::is_method(cls),
               "Writes the servo's latest calibration backup back and reads it back."));
}

}  // namespace servobus
