// A servo by ID: memory reads and writes, position commands, the torque switch and the debug
// page's feedback, each one bus job, coded for the servo's own profile.
#include "Bindings.h"

#include "Errors.h"
#include "Waiting.h"
#include "servo/DebugTarget.h"
#include "servo/FeedbackCapture.h"
#include "servo/PositionCommand.h"

#include <algorithm>

namespace servobus {

long long Checked(long long value, const char* what, long long low, long long high)
{
    if (value < low || value > high)
        throw py::value_error(std::string(what) + " must be " + std::to_string(low) + ".." +
                              std::to_string(high) + ", not " + std::to_string(value));
    return value;
}

void CheckedMotion(int acceleration, int speed, int time)
{
    Checked(acceleration, "acceleration", 0, 255);
    Checked(speed, "speed", -32767, 32767);
    Checked(time, "time", -1023, 1023);
}

std::string FeedbackRecord::Csv() const
{
    if (timeUs >= 0) {
        CaptureSample sample;
        sample.answered = answered;
        sample.values = values;
        return CaptureCsvRow(timeUs, sample, CaptureBlock::Full);
    }
    return answered ? FeedbackCsvRow(timeMs, values) : FeedbackCsvTimeoutRow(timeMs);
}

std::string FeedbackRecord::Repr() const
{
    if (!answered)
        return "Feedback(time_ms=" + std::to_string(timeMs) + ", answered=False)";
    const Feedback& f = values;
    return "Feedback(time_ms=" + std::to_string(timeMs) + ", position=" + std::to_string(f.position) +
           ", speed=" + std::to_string(f.speed) + ", load=" + std::to_string(f.load) +
           ", voltage=" + std::to_string(f.voltage / 10) + "." + std::to_string(f.voltage % 10) +
           ", temperature=" + std::to_string(f.temperature) + ", moving=" +
           std::to_string(f.moving) + ", current=" + std::to_string(f.current) + ", target=" +
           std::to_string(f.target) + ", fast_slow=" + std::to_string(f.fastSlow) + ", status=" +
           std::to_string(f.status) + ")";
}

Servo::Servo(std::shared_ptr<PortCore> c, int servoId, ProfileOptions o)
    : core(std::move(c)), id(servoId), options(o)
{
}

std::string Servo::Repr() const
{
    std::string text = "Servo(" + std::to_string(id);
    if (identity && identity->read)
        text += ", model='" + identity->model + "'";
    if (foundRate)
        text += ", rate=" + std::to_string(foundRate);
    return text + ")";
}

void Servo::Answered(const Reply& reply, const std::string& what)
{
    if (!reply)
        RaiseReply(reply, id, core->TimeoutMs(), what);
    lastError = reply.error;
}

template <class F>
auto Servo::WithIdentity(Exchange exchange, F&& job)
{
    using R = std::invoke_result_t<F&, BusAccess&, const Identity&>;
    struct Out {
        Reply identified = Reply::Answered();
        std::optional<Identity> identity;
        std::optional<R> result;
    };
    const std::optional<Identity> known = identity;
    const auto sid = static_cast<uint8_t>(id);
    PortCore& c = *core;
    const ProfileOptions o = options;
    Out out = RunOnBus(*c.bus, JobKind::Command, [&](BusAccess& access) {
        Out r;
        c.Prepare(access, exchange);
        if (known) {
            r.identity = known;
        } else {
            Identity fresh;
            r.identified = IdentifyServo(access.protocol, c.catalogue, sid, o, fresh);
            if (!r.identified)
                return r;
            r.identity = fresh;
        }
        r.result.emplace(job(access, *r.identity));
        return r;
    });
    if (!out.identified)
        RaiseReply(out.identified, id, c.TimeoutMs(), "the identification read");
    identity = out.identity;
    return std::move(*out.result);
}

void Servo::Identify()
{
    identity.reset();
    WithIdentity(kIdentifyExchange, [](BusAccess&, const Identity&) { return 0; });
}

py::bytes Servo::Read(int address, int count)
{
    Checked(address, "address", 0, 255);
    Checked(count, "count", 1, 253);
    if (address + count > 256)
        throw py::value_error("address + count must not pass the end of memory (256)");
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    PortCore& c = *core;
    const Reply r = RunOnBus(*c.bus, JobKind::Command, [&](BusAccess& access) {
        c.Prepare(access, ReadExchange(count));
        return access.protocol.ReadMemory(static_cast<uint8_t>(id), static_cast<uint8_t>(address),
                                       bytes.data(), static_cast<uint8_t>(count));
    });
    Answered(r);
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void Servo::Write(int address, const py::bytes& data)
{
    const std::string text = data;
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    Checked(address, "address", 0, 255);
    if (bytes.size() > 252)
        throw py::value_error("at most 252 bytes fit one packet");
    if (address + bytes.size() > 256)
        throw py::value_error("address + the bytes must not pass the end of memory (256)");
    const Reply r = WithIdentity(
        WriteExchange(static_cast<int>(bytes.size())),
        [&](BusAccess& access, const Identity& who) {
            return access.protocol.WriteMemory(who.profile, static_cast<uint8_t>(id),
                                            static_cast<uint8_t>(address), bytes.data(),
                                            static_cast<uint8_t>(bytes.size()));
        });
    Answered(r);
}

void Servo::Move(int target, int speed, int time, int acceleration)
{
    CheckedMotion(acceleration, speed, time);
    const Reply r = WithIdentity(ServoCommandExchange(kPositionBlockBytes, false, 1),
                                 [&](BusAccess& access, const Identity& who) {
                                     return IssuePositionCommand(
                                         access.protocol, who.profile, WriteMode::Normal, id, id,
                                         LimitTarget(target), EncodeSpeed(speed),
                                         EncodeTime(time), acceleration);
                                 });
    Answered(r);
}

void Servo::Torque(bool on)
{
    const Reply r = WithIdentity(ServoCommandExchange(kTorqueBlockBytes, false, 1),
                                 [&](BusAccess& access, const Identity& who) {
                                     const uint8_t address =
                                         TorqueSwitchAddress({who.profile, who.debug});
                                     return SendTorqueSwitch(access.protocol, who.profile,
                                                             WriteMode::Normal, id, id, address, on);
                                 });
    Answered(r);
}

FeedbackRecord Servo::ReadFeedback(long long timeMs, bool raiseOnFailure)
{
    FeedbackRecord record;
    record.timeMs = timeMs;
    // The identification read, or the feedback read of the longest range a block holds.
    const Exchange exchange{kIdentifyExchange.requestBytes, kReplyHeadSize + kFeedbackBlockSize + 1};
    const Reply r = WithIdentity(exchange, [&](BusAccess& access, const Identity& who) {
        return ::ReadFeedback(access.protocol, static_cast<uint8_t>(id), who.debug, who.profile,
                              record.values);
    });
    if (!r) {
        if (raiseOnFailure)
            RaiseReply(r, id, core->TimeoutMs());
        record.answered = false;
        return record;
    }
    lastError = r.error;
    return record;
}

FeedbackRecord Servo::CaptureFeedback(std::chrono::steady_clock::time_point start)
{
    FeedbackRecord record;
    CaptureSample sample;
    const Exchange exchange{kIdentifyExchange.requestBytes, kReplyHeadSize + kFeedbackBlockSize + 1};
    const Reply r = WithIdentity(exchange, [&](BusAccess& access, const Identity& who) {
        FeedbackCapture capture(id, id, CaptureBlock::Full);
        return capture.Next(access.protocol, DebugTarget{who.profile, who.debug}, sample);
    });
    record.timeUs = std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::microseconds>(sample.time - start).count());
    record.timeMs = record.timeUs / 1000;
    record.answered = r.ok();
    if (r) {
        record.values = sample.values;
        lastError = r.error;
    }
    return record;
}

Monitor::Monitor(std::shared_ptr<Servo> s, double intervalSeconds, std::optional<long long> n,
                 std::optional<double> seconds)
    : servo(std::move(s)), count(n)
{
    if (!(intervalSeconds >= 0 && intervalSeconds <= 3600))
        throw py::value_error("interval must lie from 0 (back to back) to 3600 s");
    interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(intervalSeconds));
    if (count && *count < 0)
        throw py::value_error("count must not be negative");
    if (seconds) {
        if (!(*seconds >= 0))
            throw py::value_error("seconds must not be negative");
        end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(*seconds));
    }
}

FeedbackRecord Monitor::Next()
{
    if (interval == Clock::duration::zero()) {
        // Back to back: the next read as soon as the last one has ended; Ctrl-C between two.
        if (!start)
            start = Clock::now();
        if ((count && polls >= *count) || (end && Clock::now() >= *end))
            throw py::stop_iteration();
        if (PyErr_CheckSignals() != 0)
            throw py::error_already_set();
        FeedbackRecord record = servo->CaptureFeedback(*start);
        ++polls;
        return record;
    }
    if (!pacing)
        pacing.emplace(interval);
    if ((count && polls >= *count) || (end && pacing->Due() >= *end))
        throw py::stop_iteration();
    // The wait looks at the signals in short steps: Ctrl-C ends the loop here, after the poll
    // in progress, as it ends servoctl's monitor.
    if (!SleepUntil(pacing->Due()))
        throw py::error_already_set();
    FeedbackRecord record = servo->ReadFeedback(pacing->Begin(), false);
    ++polls;
    pacing->End();
    return record;
}

}  // namespace servobus
