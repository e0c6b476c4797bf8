// servoctl's monitor commands: the debug page's feedback poll from the command line.
#include "cli/CtlCommand.h"
#include "cli/NumberArg.h"
#include "cli/StopSignals.h"

#include "servo/Feedback.h"
#include "servo/FeedbackCapture.h"
#include "servo/PollPacing.h"
#include "words/ConsoleWords.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

struct MonitorArgs {
    std::string id, count, interval = "50", duration;
    bool csv = false;
    bool motion = false;
    int servoId = 0;
    long long polls = -1;  // until a signal
    int intervalMs = 50;   // 0: back to back
    std::chrono::steady_clock::duration length = std::chrono::steady_clock::duration::max();
};

std::string TextLine(const Feedback& f)
{
    const FeedbackTexts t = FormatFeedback(f);
    return "位置:" + t.position + " 速度:" + t.speed + " 扭力:" + t.load + " 电压:" + t.voltage +
           " 温度:" + t.temperature + " 移动:" + t.moving + " 电流:" + t.current + " 目标:" +
           t.target + " 状态:" + t.status;
}

std::string MotionLine(const Feedback& f)
{
    return "位置:" + std::to_string(f.position) + " 速度:" + std::to_string(f.speed) +
           " 扭力:" + std::to_string(f.load);
}

// Reads back to back: the next goes out as soon as the last is answered or timed out. Rows
// keep µs; the output is flushed a few times a second rather than row by row.
int Capture(Session& s, const MonitorArgs& a)
{
    using Clock = CaptureSample::Clock;
    const StopSignals signals;
    const CaptureBlock block = a.motion ? CaptureBlock::Motion : CaptureBlock::Full;
    FeedbackCapture capture(a.servoId, a.servoId, block);
    const DebugTarget target{s.identity.profile, s.identity.debug};
    if (a.csv)
        s.out << kFeedbackCsvHeader << std::endl;
    bool anyAnswer = false;
    const auto start = Clock::now();
    const auto end = a.length == Clock::duration::max() ? Clock::time_point::max() : start + a.length;
    auto flushed = start;
    for (long long n = 0; (a.polls < 0 || n < a.polls) && !StopSignals::Requested(); ++n) {
        CaptureSample sample;
        const Reply got = capture.Next(s.access->protocol, target, sample);
        if (sample.time >= end)
            break;
        const long long us =
            std::chrono::duration_cast<std::chrono::microseconds>(sample.time - start).count();
        if (a.csv)
            s.out << CaptureCsvRow(us, sample, block) << '\n';
        else if (!got)
            s.out << CaptureTimeText(us) << " 状态:" << kTimeoutText << '\n';
        else
            s.out << CaptureTimeText(us) << " "
                  << (a.motion ? MotionLine(sample.values) : TextLine(sample.values)) << '\n';
        if (!got && got.outcome == Outcome::PortGone) {
            s.out.flush();
            return s.Fail(a.servoId, got);
        }
        if (got) {
            anyAnswer = true;
            s.NoteError(a.servoId, got);
        }
        if (sample.time - flushed > std::chrono::milliseconds(100)) {
            s.out.flush();
            flushed = sample.time;
        }
    }
    s.out.flush();
    if (!anyAnswer)
        s.err << "servoctl: servo " << a.servoId << ": no poll was answered\n";
    return anyAnswer ? kCtlDone : kCtlBusFailed;
}

int Monitor(Session& s, const MonitorArgs& a)
{
    if (a.intervalMs == 0)
        return Capture(s, a);
    const DebugProfile& debug = s.identity.debug;
    const auto id = static_cast<uint8_t>(a.servoId);
    const StopSignals signals;
    if (a.csv)
        s.out << kFeedbackCsvHeader << std::endl;
    bool anyAnswer = false;
    PollPacing pacing(std::chrono::milliseconds(a.intervalMs));
    const auto end = a.length == PollPacing::Clock::duration::max()
                         ? PollPacing::Clock::time_point::max()
                         : PollPacing::Clock::now() + a.length;
    for (long long n = 0; a.polls < 0 || n < a.polls; ++n) {
        if (pacing.Due() >= end)
            break;
        // Sleep in short steps so a signal ends the wait soon.
        while (!StopSignals::Requested() && PollPacing::Clock::now() < pacing.Due())
            std::this_thread::sleep_for(std::min<PollPacing::Clock::duration>(
                pacing.Due() - PollPacing::Clock::now(), std::chrono::milliseconds(20)));
        if (StopSignals::Requested())
            break;
        const long long ms = pacing.Begin();
        Feedback f;
        const Reply got = ReadFeedback(s.access->protocol, id, debug, s.identity.profile, f);
        if (!got) {
            s.out << (a.csv ? FeedbackCsvTimeoutRow(ms) : "状态:" + std::string(kTimeoutText))
                  << std::endl;
            // A port that went away answers no poll again until it is opened anew.
            if (got.outcome == Outcome::PortGone)
                return s.Fail(a.servoId, got);
        } else {
            anyAnswer = true;
            s.NoteError(a.servoId, got);
            s.out << (a.csv ? FeedbackCsvRow(ms, f) : TextLine(f)) << std::endl;
        }
        pacing.End();
    }
    if (!anyAnswer)
        s.err << "servoctl: servo " << a.servoId << ": no poll was answered\n";
    return anyAnswer ? kCtlDone : kCtlBusFailed;
}

}  // namespace

void AddMonitorCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    auto a = std::make_shared<MonitorArgs>();
    auto* sub = app.add_subcommand(
        "monitor", "poll a servo's feedback as the debug page does, one line per poll");
    sub->add_option("ID", a->id)->required()->type_name("N");
    sub->add_option("--count", a->count, "number of polls (default: until SIGINT or SIGTERM)")
        ->type_name("N");
    sub->add_option("--interval", a->interval,
                    "ms from one poll to the next; 0 polls back to back, times in µs")
        ->capture_default_str()
        ->type_name("MS");
    sub->add_option("--duration", a->duration, "seconds to poll for (default: until --count or a signal)")
        ->type_name("S");
    sub->add_flag("--motion", a->motion,
                  "with --interval 0: read position, speed and load only (6 bytes), for a higher rate");
    sub->add_flag("--csv", a->csv, "comma-separated values, unscaled, with a header");

    CtlCommand c;
    c.sub = sub;
    c.check = [a](Checker& check) {
        a->servoId = static_cast<int>(check.Get(a->id, "ID", 0, 253));
        if (!a->count.empty())
            a->polls = check.Get(a->count, "--count", 1, 1000000000);
        a->intervalMs = static_cast<int>(check.Get(a->interval, "--interval", 0, 3600000));
        if (!a->duration.empty()) {
            if (const auto length = ParseSecondsArg(a->duration))
                a->length = *length;
            else
                check.Fail("--duration must be a number of seconds above 0, not " + a->duration);
        }
        if (a->motion && a->intervalMs != 0)
            check.Fail("--motion needs --interval 0");
    };
    c.servoId = [a] { return a->servoId; };
    c.run = [a](Session& s) { return Monitor(s, *a); };
    commands.push_back(std::move(c));
}
