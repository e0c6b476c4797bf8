#include "servo/Calibration.h"

#include "protocol/ZNS.h"
#include "servo/Identify.h"
#include "servo/ParameterFile.h"
#include "servo/PositionCommand.h"
#include "servo/UpgradeBackup.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Reads in a row that may go unanswered before a servo counts as gone during a travel.
constexpr int kMissesGone = 5;
// The least time between two rounds of travel readings.
constexpr auto kRoundPeriod = std::chrono::milliseconds(5);
// A position that does not yet read as expected after a write is read again this often.
constexpr int kReadBackTries = 5;
constexpr auto kReadBackPause = std::chrono::milliseconds(20);

// The port's time-out as the job found it, put back when the calibration ends (the
// programming page's writes leave their own).
class KeptTimeout {
public:
    explicit KeptTimeout(BusAccess& a) : access(a), ms(a.Facts().TimeoutMs()) {}
    ~KeptTimeout() { access.SetTimeoutMs(ms); }
    KeptTimeout(const KeptTimeout&) = delete;
    KeptTimeout& operator=(const KeptTimeout&) = delete;

private:
    BusAccess& access;
    int ms;
};

// One servo under calibration: its identity, rows, backup and torque.
class Joint {
public:
    Joint(BusAccess& a, ServoProgram& p, ModelCatalogue& c, uint8_t id, CalibrationResult& r)
        : access(a), program(p), catalogue(c), id(id), result(r)
    {
        result.id = id;
    }

    // Identified, its table read, its rows found; false with the result's end set.
    bool Open(bool needRows = true)
    {
        if (!IdentifyServo(access.protocol, catalogue, id, {}, identity, true)) {
            result.end = CalibrationEnd::NoAnswer;
            return false;
        }
        result.model = identity.model;
        if (!Select())
            return false;
        if (!needRows)
            return true;
        std::string missing;
        const auto found = FindCalibrationRows(program.Rows(), missing);
        if (!found) {
            result.end = CalibrationEnd::NoRows;
            result.missingRow = missing;
            return false;
        }
        rows = *found;
        result.span = rows.span;
        result.oldCorrection = result.newCorrection = Value(rows.correction);
        result.oldLow = result.newLow = Value(rows.minLimit);
        result.oldHigh = result.newHigh = Value(rows.maxLimit);
        return true;
    }

    // The torque switched off (remembering whether it was on) and read back off.
    bool TorqueOff()
    {
        const auto on = ReadByte(identity.debug.torqueAddress);
        if (!on) {
            result.end = CalibrationEnd::NoAnswer;
            return false;
        }
        result.torqueWasOn = *on != 0;
        if (!result.torqueWasOn)
            return true;
        torqueTouched = true;
        Torque(false);
        const auto now = ReadByte(identity.debug.torqueAddress);
        if (!now || *now != 0) {
            result.end = CalibrationEnd::TorqueStuck;
            TorqueBack();
            return false;
        }
        return true;
    }

    // The torque on again when it was: first the target is set where the joint stands, so
    // that it holds there rather than jumping to an old target read in a new frame.
    void TorqueBack()
    {
        if (!torqueTouched)
            return;
        torqueTouched = false;
        if (const auto at = Position())
            access.protocol.WriteWord(identity.profile, id, TargetAddress(),
                                      EncodeSignMagnitude(*at, 15));
        Torque(true);
        const auto now = ReadByte(identity.debug.torqueAddress);
        result.torqueRestored = now && *now != 0;
    }

    std::optional<int> Position()
    {
        uint8_t b[2];
        if (!access.protocol.ReadMemory(id, identity.debug.feedbackFirst, b, 2))
            return std::nullopt;
        const bool highFirst = program.Profile().byteOrder != 0;
        const auto word = static_cast<uint16_t>(highFirst ? b[0] << 8 | b[1] : b[1] << 8 | b[0]);
        return DecodeSignMagnitude(word, 15);
    }

    // The EPROM block saved in `folder` before the first write; false with the end set.
    bool Backup(const std::string& folder)
    {
        if (!Select())
            return false;
        const auto bytes = program.ParameterBytes();
        if (!bytes || bytes->empty()) {
            result.end = CalibrationEnd::NoAnswer;
            return false;
        }
        backupBytes = *bytes;
        std::error_code ec;
        fs::create_directories(folder, ec);
        const std::string path = BackupPath(folder, identity.model, id, std::chrono::system_clock::now());
        if (!SaveParameterFile(path, backupBytes)) {
            result.end = CalibrationEnd::BackupFailed;
            result.backup = path;
            return false;
        }
        result.backup = path;
        return true;
    }

    // One word row written behind the lock and read back.
    bool WriteRow(const WordRow& row, int value)
    {
        result.written = true;
        if (!program.WriteValue(row.address, 2, EncodeSignMagnitude(value, row.signBit), true) ||
            !Select() || Value(row) != value) {
            result.end = CalibrationEnd::WriteFailed;
            return false;
        }
        return true;
    }

    // Moves the reading `shift` counts down (from `before`) with the correction, the sense
    // found by measurement; false with the end set.
    bool ShiftReading(int before, int shift)
    {
        const int c = Value(rows.correction);
        const auto forward = FitCorrection(c + shift, rows.correction, rows.span);
        const auto backward = FitCorrection(c - shift, rows.correction, rows.span);
        const int wanted = Wrap(before - shift, rows.span);
        const int otherWay = Wrap(before + shift, rows.span);
        if (!forward || !backward)
            return false;
        if (!WriteRow(rows.correction, *forward))
            return false;
        auto at = ReadBack({wanted, otherWay});
        // The nearer of the two tells the sense (a shift of a count or two reads within the
        // tolerance of both).
        if (at && Distance(*at, otherWay) < Distance(*at, wanted)) {
            result.reversed = true;
            if (!WriteRow(rows.correction, *backward))
                return false;
            at = ReadBack({wanted});
        }
        result.readBack = at;
        result.newCorrection = Value(rows.correction);
        if (!at || !Near(*at, wanted)) {
            result.end = at ? CalibrationEnd::CheckFailed : CalibrationEnd::NoAnswer;
            return false;
        }
        return true;
    }

    // The block saved before the first write put back and read back.
    void Restore()
    {
        if (!result.written || backupBytes.empty())
            return;
        result.restored = program.LoadParameterBytes(backupBytes) && Select() &&
                          program.ParameterBytes() == backupBytes;
    }

    bool Select()
    {
        program.SelectServo(id, identity.key, identity.profile);
        const PollReport poll = program.Poll();
        if (program.MemorySize() == 0) {
            result.end = CalibrationEnd::NoRows;
            return false;
        }
        if (poll.status == PollReport::Status::Timeout) {
            result.end = CalibrationEnd::NoAnswer;
            return false;
        }
        return true;
    }

    int Value(const WordRow& row) const
    {
        return WordValue(row, program.Image(), program.Profile().byteOrder != 0);
    }

    int Distance(int reading, int target) const { return std::abs(Around(target, reading, rows.span)); }
    bool Near(int reading, int target) const { return Distance(reading, target) <= kMiddleTolerance; }

    uint8_t Id() const { return id; }
    const CalibrationRows& Rows() const { return rows; }
    CalibrationResult& Result() { return result; }
    const Identity& Who() const { return identity; }
    ServoProgram& Program() { return program; }

private:
    std::optional<int> ReadByte(int address)
    {
        uint8_t b = 0;
        if (!access.protocol.ReadMemory(id, static_cast<uint8_t>(address), &b, 1))
            return std::nullopt;
        return b;
    }

    void Torque(bool on)
    {
        SendTorqueSwitch(access.protocol, program.Profile(), WriteMode::Normal, id, id,
                         identity.debug.torqueAddress, on);
    }

    uint8_t TargetAddress() const { return static_cast<uint8_t>(identity.debug.torqueAddress + 2); }

    // The position once it reads as one of `expected` (a servo may take a moment to apply a
    // new correction), or as it reads at the last try.
    std::optional<int> ReadBack(const std::vector<int>& expected)
    {
        std::optional<int> at;
        for (int i = 0; i < kReadBackTries; ++i) {
            if (i > 0)
                std::this_thread::sleep_for(kReadBackPause);
            at = Position();
            if (at && std::any_of(expected.begin(), expected.end(), [&](int e) { return Near(*at, e); }))
                break;
        }
        return at;
    }

    BusAccess& access;
    ServoProgram& program;
    ModelCatalogue& catalogue;
    uint8_t id;
    CalibrationResult& result;
    Identity identity;
    CalibrationRows rows;
    std::vector<uint8_t> backupBytes;
    bool torqueTouched = false;
};

// The smallest turn of the joint (in counts of its reading) after which both senses'
// corrections fit their row: what a refused servo is told.
int TurnNeeded(int correction, int d, const CalibrationRows& rows)
{
    for (int t = 1; t < rows.span / 2; ++t)
        for (const int turn : {t, -t}) {
            const int shift = d + turn;
            if (FitCorrection(correction + shift, rows.correction, rows.span) &&
                FitCorrection(correction - shift, rows.correction, rows.span))
                return turn;
        }
    return rows.span / 2;
}

// A failure after a write: the backup goes back.
void Fail(Joint& joint, CalibrationEnd end)
{
    if (joint.Result().end == CalibrationEnd::Done)
        joint.Result().end = end;
    joint.Restore();
}

void Middle(Joint& joint, const CalibrationOptions& options)
{
    CalibrationResult& r = joint.Result();
    const CalibrationRows& rows = joint.Rows();
    const int target = options.to.value_or(rows.Middle());
    if (target < 0 || target >= rows.span) {
        r.end = CalibrationEnd::TargetOutOfRange;
        return;
    }
    if (!joint.TorqueOff())
        return;
    const auto at = joint.Position();
    if (!at) {
        r.end = CalibrationEnd::NoAnswer;
        return;
    }
    r.position = *at;
    const int shift = Around(target, *at, rows.span);
    const auto forward = FitCorrection(r.oldCorrection + shift, rows.correction, rows.span);
    if (!forward || !FitCorrection(r.oldCorrection - shift, rows.correction, rows.span)) {
        r.end = CalibrationEnd::CorrectionOutOfRange;
        r.newCorrection = r.oldCorrection + shift;
        r.turnTo = Wrap(*at + TurnNeeded(r.oldCorrection, shift, rows), rows.span);
        return;
    }
    r.newCorrection = *forward;
    r.end = CalibrationEnd::Done;
    if (options.dryRun || shift == 0) {
        r.readBack = *at;
        return;
    }
    if (!joint.Backup(options.backupFolder))
        return;
    if (!joint.ShiftReading(*at, shift))
        Fail(joint, CalibrationEnd::CheckFailed);
}

struct Recording {
    std::vector<std::unique_ptr<Joint>> joints;
    std::vector<TravelTrack> tracks;
};

// Opens the servos, switches their torque off and reads them round after round.
void Record(BusAccess& access, Recording& rec, std::chrono::milliseconds duration,
            const std::atomic<bool>& stop, const TravelSample& onSample)
{
    for (auto& joint : rec.joints) {
        if (joint->Result().end == CalibrationEnd::Done && !joint->TorqueOff())
            continue;
        rec.tracks.emplace_back(std::max(1, joint->Rows().span));
    }
    rec.tracks.resize(rec.joints.size(), TravelTrack(1));
    std::vector<int> misses(rec.joints.size(), 0);
    const auto start = Clock::now();
    auto next = start;
    while (!stop && !access.Stopping() && (duration.count() == 0 || Clock::now() - start < duration)) {
        std::vector<std::optional<int>> readings(rec.joints.size());
        bool anyone = false;
        for (size_t i = 0; i < rec.joints.size(); ++i) {
            Joint& joint = *rec.joints[i];
            if (joint.Result().end != CalibrationEnd::Done)
                continue;
            anyone = true;
            readings[i] = joint.Position();
            if (readings[i]) {
                rec.tracks[i].Add(*readings[i]);
                misses[i] = 0;
            } else if (++misses[i] >= kMissesGone) {
                joint.Result().end = CalibrationEnd::NoAnswer;
            }
        }
        if (!anyone)
            break;
        if (onSample)
            onSample(readings);
        next += kRoundPeriod;
        std::this_thread::sleep_until(next);
        if (Clock::now() > next + kRoundPeriod)
            next = Clock::now();
    }
    for (size_t i = 0; i < rec.joints.size(); ++i) {
        CalibrationResult& r = rec.joints[i]->Result();
        const TravelTrack& t = rec.tracks[i];
        r.samples = t.Samples();
        if (r.end != CalibrationEnd::Done || t.Empty())
            continue;
        // Told from the low end's place in the range: the high end lies past the range's
        // end when the travel crosses the seam.
        r.travelLow = Wrap(t.Low(), rec.joints[i]->Rows().span);
        r.travelHigh = r.travelLow + t.Moved();
        r.crossesSeam = t.CrossesSeam();
        r.position = t.Last();
        if (t.Moved() < kLeastTravel)
            r.end = CalibrationEnd::NotMoved;
    }
}

void ApplyTravel(Joint& joint, const TravelTrack& track, const CalibrationOptions& options)
{
    CalibrationResult& r = joint.Result();
    const CalibrationRows& rows = joint.Rows();
    int shift = 0;
    if (track.CrossesSeam()) {
        // The seam's place in the unused arc, a count either way when the exact middle's
        // correction can't be written.
        const int middle = SeamShift(track, rows.span);
        bool fits = false;
        for (const int s : {middle, middle + 1, middle - 1})
            if (FitCorrection(r.oldCorrection + s, rows.correction, rows.span) &&
                FitCorrection(r.oldCorrection - s, rows.correction, rows.span) &&
                TravelLimits(track, s, 0, rows)) {
                shift = s;
                fits = true;
                break;
            }
        if (!fits) {
            r.end = CalibrationEnd::CorrectionOutOfRange;
            return;
        }
        r.newCorrection = *FitCorrection(r.oldCorrection + shift, rows.correction, rows.span);
    }
    const auto limits = TravelLimits(track, shift, options.margin, rows);
    if (!limits) {
        r.end = CalibrationEnd::CrossesSeam;  // a whole turn or more: no limits hold it
        return;
    }
    r.newLow = limits->low;
    r.newHigh = limits->high;
    if (options.dryRun)
        return;
    if (track.CrossesSeam() && !(options.consent && options.consent(r))) {
        r.end = CalibrationEnd::CrossesSeam;
        return;
    }
    if (!joint.Backup(options.backupFolder))
        return;
    const auto before = joint.Position();
    if (!before) {
        r.end = CalibrationEnd::NoAnswer;
        return;
    }
    if (shift != 0 && !joint.ShiftReading(*before, shift)) {
        Fail(joint, CalibrationEnd::CheckFailed);
        return;
    }
    if (!joint.WriteRow(rows.minLimit, limits->low) || !joint.WriteRow(rows.maxLimit, limits->high)) {
        Fail(joint, CalibrationEnd::WriteFailed);
        return;
    }
    r.readBack = joint.Position();
}

Recording Open(BusAccess& access, ServoProgram& program, ModelCatalogue& catalogue,
               const std::vector<uint8_t>& ids, std::vector<CalibrationResult>& results)
{
    Recording rec;
    results.assign(ids.size(), CalibrationResult{});
    for (size_t i = 0; i < ids.size(); ++i) {
        rec.joints.push_back(std::make_unique<Joint>(access, program, catalogue, ids[i], results[i]));
        if (rec.joints.back()->Open())
            results[i].end = CalibrationEnd::Done;
    }
    return rec;
}

void TorqueBack(Recording& rec)
{
    for (auto& joint : rec.joints)
        joint->TorqueBack();
}

}  // namespace

std::string CalibrationFolder()
{
    return (fs::path(BackupFolder()).parent_path() / "calibration").string();
}

std::vector<CalibrationResult> CalibrateMiddle(BusAccess& access, ServoProgram& program,
                                               ModelCatalogue& catalogue,
                                               const std::vector<uint8_t>& ids,
                                               const CalibrationOptions& options)
{
    const KeptTimeout kept(access);
    std::vector<CalibrationResult> results;
    Recording rec = Open(access, program, catalogue, ids, results);
    for (auto& joint : rec.joints) {
        if (joint->Result().end == CalibrationEnd::Done)
            Middle(*joint, options);
        joint->TorqueBack();
    }
    return results;
}

std::vector<CalibrationResult> RecordTravel(BusAccess& access, ServoProgram& program,
                                            ModelCatalogue& catalogue,
                                            const std::vector<uint8_t>& ids,
                                            std::chrono::milliseconds duration,
                                            const std::atomic<bool>& stop,
                                            const TravelSample& onSample)
{
    const KeptTimeout kept(access);
    std::vector<CalibrationResult> results;
    Recording rec = Open(access, program, catalogue, ids, results);
    Record(access, rec, duration, stop, onSample);
    TorqueBack(rec);
    return results;
}

std::vector<CalibrationResult> CalibrateTravel(BusAccess& access, ServoProgram& program,
                                               ModelCatalogue& catalogue,
                                               const std::vector<uint8_t>& ids,
                                               std::chrono::milliseconds duration,
                                               const std::atomic<bool>& stop,
                                               const CalibrationOptions& options,
                                               const TravelSample& onSample)
{
    const KeptTimeout kept(access);
    std::vector<CalibrationResult> results;
    Recording rec = Open(access, program, catalogue, ids, results);
    Record(access, rec, duration, stop, onSample);
    for (size_t i = 0; i < rec.joints.size(); ++i)
        if (results[i].end == CalibrationEnd::Done)
            ApplyTravel(*rec.joints[i], rec.tracks[i], options);
    TorqueBack(rec);
    return results;
}

CalibrationResult SetLimits(BusAccess& access, ServoProgram& program, ModelCatalogue& catalogue,
                            uint8_t id, int low, int high, const CalibrationOptions& options)
{
    const KeptTimeout kept(access);
    CalibrationResult r;
    Joint joint(access, program, catalogue, id, r);
    if (!joint.Open())
        return r;
    const CalibrationRows& rows = joint.Rows();
    r.end = CalibrationEnd::Done;
    r.newLow = low;
    r.newHigh = high;
    if (low > high || low < rows.minLimit.minimum || low > rows.minLimit.maximum ||
        high < rows.maxLimit.minimum || high > rows.maxLimit.maximum) {
        r.end = CalibrationEnd::TargetOutOfRange;
        return r;
    }
    r.readBack = joint.Position();
    if (options.dryRun || !joint.Backup(options.backupFolder))
        return r;
    if (!joint.WriteRow(rows.minLimit, low) || !joint.WriteRow(rows.maxLimit, high))
        Fail(joint, CalibrationEnd::WriteFailed);
    return r;
}

std::string LatestCalibrationBackup(const std::string& folder, int id)
{
    // "<model>-ID<id>-<YYYYMMDD-HHMMSS>[-N].dat": the newest stamp, then the highest N.
    const std::string marker = "-ID" + std::to_string(id) + "-";
    std::string best;
    std::pair<std::string, int> bestKey;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const auto at = name.rfind(marker);
        if (at == std::string::npos || entry.path().extension() != ".dat")
            continue;
        const std::string rest = name.substr(at + marker.size(), name.size() - at - marker.size() - 4);
        if (rest.size() < 15)
            continue;
        const int n = rest.size() > 16 ? std::atoi(rest.c_str() + 16) : 1;
        const std::pair<std::string, int> key{rest.substr(0, 15), n};
        if (best.empty() || key > bestKey) {
            best = entry.path().string();
            bestKey = key;
        }
    }
    return best;
}

std::vector<CalibrationResult> UndoCalibration(BusAccess& access, ServoProgram& program,
                                               ModelCatalogue& catalogue,
                                               const std::vector<uint8_t>& ids,
                                               const std::string& folder)
{
    const KeptTimeout kept(access);
    std::vector<CalibrationResult> results(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        CalibrationResult& r = results[i];
        Joint joint(access, program, catalogue, ids[i], r);
        r.backup = LatestCalibrationBackup(folder, ids[i]);
        if (r.backup.empty()) {
            r.end = CalibrationEnd::NoBackup;
            continue;
        }
        std::ifstream in(r.backup, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.empty()) {
            r.end = CalibrationEnd::NoBackup;
            continue;
        }
        if (!joint.Open(false))
            continue;
        const bool hasRows = [&] {
            std::string missing;
            return FindCalibrationRows(program.Rows(), missing).has_value();
        }();
        auto rowsNow = [&](bool before) {
            std::string missing;
            const auto rows = FindCalibrationRows(program.Rows(), missing);
            if (!rows)
                return;
            (before ? r.oldCorrection : r.newCorrection) = joint.Value(rows->correction);
            (before ? r.oldLow : r.newLow) = joint.Value(rows->minLimit);
            (before ? r.oldHigh : r.newHigh) = joint.Value(rows->maxLimit);
        };
        if (hasRows)
            rowsNow(true);
        r.written = true;
        // Read back: the block the servo holds now is the backup's, byte for byte.
        bool ok = program.LoadParameterBytes(bytes) && joint.Select();
        const auto now = ok ? program.ParameterBytes() : std::nullopt;
        ok = now && now->size() <= bytes.size() && std::equal(now->begin(), now->end(), bytes.begin());
        if (!ok) {
            r.end = CalibrationEnd::WriteFailed;
            continue;
        }
        rowsNow(false);
        r.readBack = joint.Position();
        r.end = CalibrationEnd::Done;
        std::error_code ec;
        fs::rename(r.backup, r.backup + ".undone", ec);
    }
    return results;
}
