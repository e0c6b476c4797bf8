// The step test's runs and the sweep around them, inside one bus job.
#include "servo/StepTest.h"

#include "bus/ServoBus.h"
#include "servo/FeedbackCapture.h"
#include "servo/PositionCommand.h"
#include "servo/ServoProgram.h"
#include "servo/ValueCoding.h"
#include "support/LeadingInt.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A servo silent this long (and for a few reads in a row) has stopped answering.
constexpr auto kSilence = std::chrono::milliseconds(300);
constexpr int kSilentReads = 3;
// How often a run hands its samples over.
constexpr auto kBatchEvery = std::chrono::milliseconds(20);
// At rest: the position moved no more than this over kRestFor.
constexpr int kRestSpan = 1;
constexpr auto kRestFor = std::chrono::milliseconds(100);
// How long the restore keeps trying a write the servo did not confirm.
constexpr auto kRestoreFor = std::chrono::milliseconds(2000);

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

StepEnd EndOf(const Reply& r)
{
    switch (r.outcome) {
    case Outcome::PortGone:
    case Outcome::PortClosed:
        return StepEnd::PortGone;
    case Outcome::WriteFailed:
        return StepEnd::WriteFailed;
    default:
        return StepEnd::NoAnswer;
    }
}

// One swept address: its row's coding and its value before the sweep.
struct Swept {
    int address = 0;
    int size = 1;
    bool eprom = false;
    uint16_t original = 0;
    bool written = false;  // a swept value went to the servo (or may have)
    std::vector<WriteRequest> values;
};

class Sweep {
public:
    Sweep(BusAccess& a, ServoProgram& p, const DebugTarget& t, const StepSettings& s,
          const StepCallbacks& c, const std::atomic<bool>& stopFlag)
        : access(a), protocol(a.protocol), program(p), target(t), settings(s), callbacks(c),
          stop(stopFlag), id(static_cast<uint8_t>(s.id))
    {
    }

    bool Stopping() const { return stop || access.Stopping(); }

    // The swept addresses checked against the table and their originals read; false with
    // the report's end and refusal set.
    bool Prepare(const std::vector<SweepAxis>& axes, SweepReport& report)
    {
        if (axes.empty())
            return true;
        const PollReport poll = program.Poll(access);
        if (poll.status == PollReport::Status::Timeout) {
            report.end = StepEnd::NoAnswer;
            return false;
        }
        const auto rows = program.Rows();
        if (rows.empty()) {
            report.end = StepEnd::NoTable;
            return false;
        }
        const MemoryImage image = program.Image();
        const bool highFirst = program.Profile().byteOrder != 0;
        const int lock = LockAddress(rows);
        const int torque = target.debug.torqueAddress;
        const int block = target.profile.positionAddress;
        for (const SweepAxis& axis : axes) {
            auto refuse = [&](const std::string& why) {
                report.end = StepEnd::Refused;
                report.refusal = "address " + std::to_string(axis.address) + " " + why;
                return false;
            };
            const MemoryItem* row = nullptr;
            for (const MemoryItem& r : rows)
                if (LeadingInt(r.address) == axis.address && r.address != text::kNullRow) {
                    row = &r;
                    break;
                }
            if (row == nullptr)
                return refuse("is not in the memory table");
            const int size = LeadingInt(row->size) == 1 ? 1 : 2;
            auto overlaps = [&](int first, int last) {
                return axis.address + size - 1 >= first && axis.address <= last;
            };
            if (overlaps(0, addr::kStatusLevel) || axis.address == lock || overlaps(torque, torque) ||
                overlaps(block, block + 6))
                return refuse("(" + row->name + ") is one the step test drives itself");
            if (row->name == text::kNoValue || !RowWritable(row->access))
                return refuse("(" + row->name + ") is read-only");
            if (axis.values.empty())
                return refuse("has no values");
            Swept s;
            s.address = axis.address;
            s.size = size;
            s.eprom = row->area == text::kEprom;
            const int a = axis.address;
            // The coded value as the servo holds it, written back byte for byte.
            const int first = image[static_cast<size_t>(a)];
            const int second = a + 1 < kImageSize ? image[static_cast<size_t>(a + 1)] : 0;
            s.original = static_cast<uint16_t>(size == 1 ? first
                                               : highFirst ? first << 8 | second
                                                           : second << 8 | first);
            for (int v : axis.values) {
                WriteRequest w = PrepareWrite(*row, v);
                if (!w.refusal.empty()) {
                    report.end = StepEnd::Refused;
                    report.refusal = w.refusal;
                    return false;
                }
                s.values.push_back(w);
            }
            swept.push_back(std::move(s));
        }
        return true;
    }

    // The torque switch turned on for the test when it was off; false when it can't be read.
    bool TorqueOn(SweepReport& report)
    {
        uint8_t on = 0;
        const Reply r = protocol.ReadMemory(id, target.debug.torqueAddress, &on, 1);
        if (!r) {
            report.end = EndOf(r);
            return false;
        }
        if (on != 0)
            return true;
        report.torque = StepRestore{target.debug.torqueAddress, 0, false};
        const Reply w = SendTorqueSwitch(protocol, target.profile, WriteMode::Normal, id, id,
                                         target.debug.torqueAddress, true);
        if (!w) {
            report.end = StepEnd::WriteFailed;
            return false;
        }
        return true;
    }

    // The grid point's values written; false when a write failed.
    bool WritePoint(const std::vector<int>& indices)
    {
        for (size_t a = 0; a < swept.size(); ++a) {
            const WriteRequest& w = swept[a].values[static_cast<size_t>(indices[a])];
            swept[a].written = true;
            const int ok = program.WriteValue(access, w.address, w.size, w.value, w.eprom);
            if (!ok)
                return false;
        }
        return true;
    }

    // Reads until the servo is at rest (or the limit passes); the position it rests at.
    StepEnd Rest(int& position)
    {
        const auto begin = Clock::now();
        auto lastAnswer = begin;
        int missed = 0;
        std::vector<std::pair<Clock::time_point, int>> recent;
        while (!Stopping()) {
            Feedback f;
            const Reply r = ReadFeedback(protocol, id, target.debug, target.profile, f);
            const auto now = Clock::now();
            if (!r) {
                if (r.outcome == Outcome::PortGone || r.outcome == Outcome::PortClosed)
                    return StepEnd::PortGone;
                if (++missed >= kSilentReads && now - lastAnswer >= kSilence)
                    return StepEnd::NoAnswer;
                continue;
            }
            missed = 0;
            lastAnswer = now;
            position = f.position;
            recent.emplace_back(now, f.position);
            while (now - recent.front().first > kRestFor)
                recent.erase(recent.begin());
            auto byPosition = [](const auto& x, const auto& y) { return x.second < y.second; };
            const auto [low, high] = std::minmax_element(recent.begin(), recent.end(), byPosition);
            const bool still = high->second - low->second <= kRestSpan && now - begin >= kRestFor &&
                               now - recent.front().first >= kRestFor / 2;
            if (still || now - begin >= settings.settleLimit)
                return StepEnd::Done;
        }
        return StepEnd::Stopped;
    }

    void Issue(int position, Reply& r)
    {
        r = IssuePositionCommand(protocol, target.profile, WriteMode::Normal, id, id, position,
                                 EncodeSpeed(settings.speed), EncodeTime(settings.time),
                                 settings.acceleration);
    }

    // One test: to the start, at rest, the step, the capture.
    void RunOne(StepRun& run)
    {
        Reply r;
        if (settings.from) {
            Issue(LimitTarget(*settings.from), r);
            if (!r) {
                run.end = EndOf(r);
                return;
            }
        }
        int start = 0;
        if ((run.end = Rest(start)) != StepEnd::Done)
            return;
        if (callbacks.runStarted)
            callbacks.runStarted(run.index, run.values);
        const int to = LimitTarget(settings.to);
        const auto t0 = Clock::now();
        Issue(to, r);
        if (!r) {
            run.end = EndOf(r);
            run.figures = ComputeStepFigures(run.samples, start, to);
            return;
        }
        FeedbackCapture capture(id, id, CaptureBlock::Full);
        const auto end = t0 + settings.duration;
        auto lastAnswer = t0;
        auto handed = t0;
        size_t handedCount = 0;
        // The samples read since the last hand-over, if any.
        auto handOver = [&] {
            if (!callbacks.samples || handedCount == run.samples.size())
                return;
            callbacks.samples(run.index, {run.samples.begin() + static_cast<long>(handedCount), run.samples.end()});
            handedCount = run.samples.size();
        };
        int missed = 0;
        while (!Stopping()) {
            CaptureSample c;
            const Reply got = capture.Next(protocol, target, c);
            if (c.time >= end)
                break;
            run.samples.push_back({Ms(c.time - t0), c.answered, c.values});
            const auto now = Clock::now();
            if (got) {
                missed = 0;
                lastAnswer = now;
            } else if (got.outcome == Outcome::PortGone || got.outcome == Outcome::PortClosed) {
                run.end = StepEnd::PortGone;
                break;
            } else if (++missed >= kSilentReads && now - lastAnswer >= kSilence) {
                run.end = StepEnd::NoAnswer;
                break;
            }
            if (now - handed >= kBatchEvery) {
                handOver();
                handed = now;
            }
        }
        if (run.end == StepEnd::Done && Stopping())
            run.end = StepEnd::Stopped;
        handOver();
        run.figures = ComputeStepFigures(run.samples, start, to);
    }

    // Every swept original back, and the torque switch off again when it was off.
    void Restore(SweepReport& report)
    {
        const auto until = Clock::now() + kRestoreFor;
        auto retry = [&](const std::function<bool()>& write) {
            for (;;) {
                if (write())
                    return true;
                // A closed port takes nothing more.
                if (Clock::now() >= until || !access.Facts().Open())
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        };
        for (const Swept& s : swept) {
            StepRestore done{s.address, s.original, !s.written};
            if (s.written)
                done.restored = retry([&] {
                    const int ok = program.WriteValue(access, s.address, s.size, s.original, s.eprom);
                    return ok != 0;
                });
            report.restores.push_back(done);
        }
        if (report.torque)
            report.torque->restored = retry([&] {
                return SendTorqueSwitch(protocol, target.profile, WriteMode::Normal, id, id,
                                        target.debug.torqueAddress, false)
                    .ok();
            });
    }

private:
    std::vector<Swept> swept;
    BusAccess& access;
    ZNS& protocol;
    ServoProgram& program;
    const DebugTarget& target;
    const StepSettings& settings;
    const StepCallbacks& callbacks;
    const std::atomic<bool>& stop;
    const uint8_t id;
};

}  // namespace

std::vector<std::vector<int>> SweepGrid(const std::vector<SweepAxis>& axes)
{
    std::vector<std::vector<int>> grid{{}};
    for (const SweepAxis& axis : axes) {
        std::vector<std::vector<int>> next;
        for (const auto& point : grid)
            for (int v : axis.values) {
                next.push_back(point);
                next.back().push_back(v);
            }
        grid = std::move(next);
    }
    return grid;
}

bool SweepReport::AllRestored() const
{
    return std::all_of(restores.begin(), restores.end(), [](const StepRestore& r) { return r.restored; }) &&
           (!torque || torque->restored);
}

bool SweepReport::AllReached() const
{
    return std::all_of(runs.begin(), runs.end(),
                       [](const StepRun& r) { return r.end != StepEnd::Done || r.figures.reached; });
}

SweepReport RunStepSweep(BusAccess& access, ServoProgram& program, const DebugTarget& target,
                         const StepSettings& settings, const std::vector<SweepAxis>& axes,
                         const StepCallbacks& callbacks, const std::atomic<bool>& stop)
{
    SweepReport report;
    Sweep sweep(access, program, target, settings, callbacks, stop);
    if (!sweep.Prepare(axes, report) || !sweep.TorqueOn(report)) {
        sweep.Restore(report);
        return report;
    }
    // Grid points as indices into each axis's values, the first axis slowest.
    std::vector<std::vector<int>> points{{}};
    for (const SweepAxis& axis : axes) {
        std::vector<std::vector<int>> next;
        for (const auto& p : points)
            for (size_t v = 0; v < axis.values.size(); ++v) {
                next.push_back(p);
                next.back().push_back(static_cast<int>(v));
            }
        points = std::move(next);
    }
    const int repeat = std::max(1, settings.repeat);
    for (const auto& point : points) {
        if (report.end != StepEnd::Done)
            break;
        if (sweep.Stopping()) {
            report.end = StepEnd::Stopped;
            break;
        }
        if (!sweep.WritePoint(point)) {
            report.end = StepEnd::WriteFailed;
            break;
        }
        std::vector<int> values;
        for (size_t a = 0; a < axes.size(); ++a)
            values.push_back(axes[a].values[static_cast<size_t>(point[a])]);
        for (int r = 0; r < repeat && report.end == StepEnd::Done; ++r) {
            if (sweep.Stopping()) {
                report.end = StepEnd::Stopped;
                break;
            }
            StepRun run;
            run.index = static_cast<int>(report.runs.size());
            run.repeat = r;
            run.values = values;
            sweep.RunOne(run);
            report.end = run.end;
            if (callbacks.runDone)
                callbacks.runDone(run);
            report.runs.push_back(std::move(run));
        }
    }
    sweep.Restore(report);
    return report;
}

std::string StepRunColumns(const std::vector<SweepAxis>& axes)
{
    std::string text = "run,";
    for (const SweepAxis& a : axes)
        text += "addr" + std::to_string(a.address) + ",";
    return text;
}

std::string StepRunRow(const StepRun& run)
{
    std::string text = std::to_string(run.index + 1) + ",";
    for (int v : run.values)
        text += std::to_string(v) + ",";
    const StepFigures& f = run.figures;
    return text + StepFigureText(f.deadMs) + "," + StepFigureText(f.riseMs) + "," +
           StepFigureText(f.overshootPct) + "," + StepFigureText(f.settled ? f.settlingMs : StepFigures::kNone) +
           "," + StepFigureText(f.steadyError) + "," + std::to_string(f.peakLoad) + "," +
           std::to_string(f.peakCurrent);
}

std::string StepCsvHeader(const std::vector<SweepAxis>& axes)
{
    return StepRunColumns(axes) +
           "time_ms,position,speed,load,voltage,temperature,moving,current,target,fast_slow,status";
}

std::string StepCsvRow(const StepRun& run, const StepSample& s)
{
    std::string text = std::to_string(run.index + 1) + ",";
    for (int v : run.values)
        text += std::to_string(v) + ",";
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", s.ms);
    if (!s.answered)
        return text + time + ",,,,,,,,,,timeout";
    return text + FeedbackCsvRow(0, s.values).replace(0, 1, time);
}
