#pragma once
// Calibrating joints: the middle (zero) taught with the joint held where it belongs, the
// travel recorded while the joint is turned by hand, the limits set from it, and undo. Each
// servo's EPROM block is saved as a parameter file before anything is written to it; a
// failure after a write puts that block back. The torque of every servo is as it was
// before, however a calibration ends. Everything runs inside one bus job (`access`);
// `program` is the programming page's logic, selected on each servo in turn.

#include "bus/ServoBus.h"
#include "catalogue/ModelCatalogue.h"
#include "servo/CalibrationMath.h"
#include "servo/ServoProgram.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class CalibrationEnd {
    Done,
    NoAnswer,          // the servo did not answer (or stopped answering)
    NoRows,            // its model has no correction or limit rows (`missingRow`)
    TargetOutOfRange,  // --to outside the position range
    CorrectionOutOfRange,  // the correction needed lies outside its row: `turnTo`
    TorqueStuck,       // the torque could not be switched off
    BackupFailed,      // the backup file could not be written: nothing written
    WriteFailed,       // a write was not taken
    CheckFailed,       // the position did not read as it should after the write
    NotMoved,          // a travel of less than kLeastTravel counts
    CrossesSeam,       // the travel crosses the seam and the correction was not consented to
    NoBackup,          // undo: no calibration backup for the servo
};

// What a calibration did (or would do) to one servo.
struct CalibrationResult {
    int id = 0;
    std::string model;
    CalibrationEnd end = CalibrationEnd::NoAnswer;
    std::string missingRow;  // NoRows
    int position = 0;        // read before anything was written
    int oldCorrection = 0, newCorrection = 0;
    int oldLow = 0, oldHigh = 0, newLow = 0, newHigh = 0;
    std::optional<int> readBack;  // the position read back after the writes
    bool reversed = false;        // the correction counts the other way (found by measurement)
    bool written = false;         // something was written to the servo
    bool restored = false;        // a failure after a write: the backup went back (and read back)
    std::string backup;           // the backup file, when one was made (or used by undo)
    int turnTo = 0;               // CorrectionOutOfRange: a reading the joint may be turned to
    int span = 0;                 // the position range's size
    // A travel: its ends as read before any new correction (unwrapped), and the seam.
    int travelLow = 0, travelHigh = 0;
    bool crossesSeam = false;
    int samples = 0;
    bool torqueWasOn = false;
    bool torqueRestored = true;   // false: the torque could not be switched back on

    bool Ok() const { return end == CalibrationEnd::Done; }
};

struct CalibrationOptions {
    bool dryRun = false;
    std::optional<int> to;  // the middle's target; nothing: the middle of the range
    int margin = 0;         // travel: counts added beyond each end
    std::string backupFolder;
    // Travel across the seam: whether the proposed correction may be written. Called inside
    // the job (servoctl asks on its terminal); nothing: never.
    std::function<bool(const CalibrationResult& proposal)> consent;
};

// A travel of fewer counts than this is no travel: the joint was not turned.
inline constexpr int kLeastTravel = 10;
// How close the position must read to its target after a middle.
inline constexpr int kMiddleTolerance = 2;

// The folder the calibration backups go to: "calibration" in the user's data folder
// ($XDG_DATA_HOME/servo-debugger/, else the platform's).
std::string CalibrationFolder();

// The middle of each servo: with its torque off, the correction that makes its position read
// `options.to` (default the middle of its range), written and checked; when it reads the
// other way, the opposite is written and checked.
std::vector<CalibrationResult> CalibrateMiddle(BusAccess& access, ServoProgram& program,
                                               ModelCatalogue& catalogue,
                                               const std::vector<uint8_t>& ids,
                                               const CalibrationOptions& options);

// Called with each round of readings while a travel is recorded (one per ID, in order;
// nothing for a servo that did not answer in that round).
using TravelSample = std::function<void(const std::vector<std::optional<int>>& readings)>;

// The travel of each servo: torque off, positions read round after round until `stop` is
// set or `duration` is over (zero: no limit); a travel across the seam gets the correction
// that puts the seam in the middle of the unused arc (written only with consent); then the
// limits, written and read back. A dry run reports all of it and writes nothing.
std::vector<CalibrationResult> CalibrateTravel(BusAccess& access, ServoProgram& program,
                                               ModelCatalogue& catalogue,
                                               const std::vector<uint8_t>& ids,
                                               std::chrono::milliseconds duration,
                                               const std::atomic<bool>& stop,
                                               const CalibrationOptions& options,
                                               const TravelSample& onSample = {});

// Only the recording, nothing written: the ends and the seam of each servo's travel.
std::vector<CalibrationResult> RecordTravel(BusAccess& access, ServoProgram& program,
                                            ModelCatalogue& catalogue,
                                            const std::vector<uint8_t>& ids,
                                            std::chrono::milliseconds duration,
                                            const std::atomic<bool>& stop,
                                            const TravelSample& onSample = {});

// The angle limits of one servo, backed up, written and read back.
CalibrationResult SetLimits(BusAccess& access, ServoProgram& program, ModelCatalogue& catalogue,
                            uint8_t id, int low, int high, const CalibrationOptions& options);

// The latest calibration backup of each servo written back and read back, byte for byte;
// the backup used is kept, renamed "*.dat.undone", so that the next undo goes one further.
std::vector<CalibrationResult> UndoCalibration(BusAccess& access, ServoProgram& program,
                                               ModelCatalogue& catalogue,
                                               const std::vector<uint8_t>& ids,
                                               const std::string& folder);

// The newest backup of servo `id` in `folder`; empty when there is none.
std::string LatestCalibrationBackup(const std::string& folder, int id);
