#pragma once
// The step test: a servo moved to a start position and left to settle, then commanded to a
// target while its feedback is read back to back; the figures of the response (dead time,
// rise time, overshoot, settling time, steady-state error, peak load and current) come from
// the samples. A sweep runs the test once per value of one memory address, or once per
// combination of the values of several, and always writes every swept address's original
// value back, and the torque switch's original state, however the sweep ends.
//
// Everything that talks to the servo runs inside one bus job (RunStepSweep): the window
// posts it and gets the samples and runs back through the callbacks; servoctl and the
// Python module run it in their command's job.

#include "servo/DebugTarget.h"
#include "servo/Feedback.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

class BusAccess;
class ServoProgram;

// One feedback read during a step: its time from the step command, and what it read.
struct StepSample {
    double ms = 0;
    bool answered = false;
    Feedback values;  // of an answered read: position, speed, load, current, voltage, ...
};

// The figures of one response. Times in ms from the step command; NaN where the response
// never got there (no rise, never settled, no samples).
struct StepFigures {
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    int start = 0;   // position when the step was commanded
    int target = 0;
    int band = 2;    // half width of the target band, in counts
    bool reached = false;  // entered the target band at least once
    bool settled = false;  // inside the band from settlingMs to the last sample
    double deadMs = kNone;       // until the position first left the start's band
    double riseMs = kNone;       // from 10 % to 90 % of the step
    double overshootPct = 0;     // past the target, in % of the step; 0 when it never passed it
    double settlingMs = kNone;   // from the command until it stayed within the band
    double steadyError = kNone;  // mean position of the last 10 % of the samples, less the target
    int peakLoad = 0;        // largest magnitude seen
    int peakCurrent = 0;
};

// The target band's half width: 2 % of the step or 2 counts, whichever is larger.
int StepBand(int start, int target);

// The figures of the answered samples (in time order) of a step from `start` to `target`.
// A step of zero counts has no rise and no overshoot; it is settled when every sample is
// within the band.
StepFigures ComputeStepFigures(const std::vector<StepSample>& samples, int start, int target);

// What one test does.
struct StepSettings {
    int id = 1;
    std::optional<int> from;  // none: the step starts where the servo stands
    int to = 0;
    std::chrono::milliseconds duration{1000};  // captured after the step command
    int repeat = 1;           // tests per swept value (or per grid point)
    // The position command's other words, as the debug page sends them (0: the servo's own).
    int speed = 0;
    int time = 0;
    int acceleration = 0;
    // The longest wait for the servo to come to rest at the start.
    std::chrono::milliseconds settleLimit{3000};
};

// One swept memory address and its values, as typed (checked against the address's row of
// the memory table and coded by it).
struct SweepAxis {
    int address = 0;
    std::vector<int> values;
};

// The grid of a sweep: every combination of the axes' values, the first axis slowest; one
// empty combination when there are no axes.
std::vector<std::vector<int>> SweepGrid(const std::vector<SweepAxis>& axes);

// Why a run or a sweep ended.
enum class StepEnd {
    Done,        // ran its whole course
    Stopped,     // the stop flag, or the bus closing
    NoAnswer,    // the servo stopped answering
    WriteFailed, // a command or a swept value's write was not taken
    Refused,     // a swept address or value the memory table does not allow; nothing was sent
    NoTable,     // the catalogue has no memory table for the servo (needed to sweep)
    PortGone,
};

// One test: the swept values it ran with (in the axes' order), its figures and samples.
struct StepRun {
    int index = 0;   // 0-based, in the order run
    int repeat = 0;  // 0-based, within its grid point
    std::vector<int> values;
    StepEnd end = StepEnd::Done;
    StepFigures figures;
    std::vector<StepSample> samples;
};

// What the restore did for one swept address (or for the torque switch).
struct StepRestore {
    int address = 0;
    uint16_t original = 0;  // the coded value as read before the sweep
    bool restored = false;  // written back and confirmed (or the servo confirms no writes)
};

struct SweepReport {
    StepEnd end = StepEnd::Done;
    std::string refusal;  // what was refused (StepEnd::Refused), in servoctl's words
    std::vector<StepRun> runs;  // every run that started, samples included
    std::vector<StepRestore> restores;       // one per swept address
    std::optional<StepRestore> torque;       // the torque switch, when the sweep turned it on
    bool AllRestored() const;
    // Whether every run that ran its course reached its target band.
    bool AllReached() const;
};

// Called on the bus's thread, inside the job: a face turns them into queued calls (the
// window) or handles them at once (servoctl, Python). None of them may wait for another
// thread.
struct StepCallbacks {
    // Before a run's step command, with its swept values.
    std::function<void(int run, const std::vector<int>& values)> runStarted;
    // The samples read since the last batch, every few ms while a run captures.
    std::function<void(int run, const std::vector<StepSample>& batch)> samples;
    // A run has ended (also one cut short), figures and samples complete.
    std::function<void(const StepRun& run)> runDone;
};

// The sweep, inside a bus job. `program` is selected on the servo (its table is loaded and
// its image read here, which gives the original values); `target` codes the position
// commands and the feedback reads. The swept addresses are checked first: each must be a
// writable row of the table, not one the test drives itself (ID, baud rate, status level, the
// lock flag, the torque switch and the position block), and each value within its row's
// range. `stop` (and the bus closing) ends the sweep between two reads. However it ends, the
// original values are written back with the EPROM write sequence, retried for a short while
// when the servo does not confirm, and the torque switch is set off again when it was off
// before.
SweepReport RunStepSweep(BusAccess& access, ServoProgram& program, const DebugTarget& target,
                         const StepSettings& settings, const std::vector<SweepAxis>& axes,
                         const StepCallbacks& callbacks, const std::atomic<bool>& stop);

// The figure columns of a run's row, with their units, after the swept addresses' columns:
// "dead_ms,rise_ms,overshoot_pct,settling_ms,steady_error_counts,peak_load,peak_current".
inline constexpr const char* kStepFigureColumns =
    "dead_ms,rise_ms,overshoot_pct,settling_ms,steady_error_counts,peak_load,peak_current";
// "run,addr21,addr22,": the run column and one column per swept address.
std::string StepRunColumns(const std::vector<SweepAxis>& axes);
// A figure as text: "12.3", "" for NaN.
std::string StepFigureText(double value);
// A run's row under StepRunColumns + kStepFigureColumns.
std::string StepRunRow(const StepRun& run);

// Every sample of every run as comma-separated values: the run and its swept values, then
// the time from the step and the feedback fields.
std::string StepCsvHeader(const std::vector<SweepAxis>& axes);
std::string StepCsvRow(const StepRun& run, const StepSample& sample);
