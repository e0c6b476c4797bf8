// servoctl's motion commands: read a pose (and append it to a motion file as a keyframe),
// play a motion file, and ease to one of its keyframes and hold.
#include "cli/CtlCommand.h"
#include "cli/NumberArg.h"
#include "cli/StopSignals.h"

#include "servo/MotionFile.h"
#include "servo/MotionPlayer.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace {

// The exit status of a motion stopped by a signal, as a shell reports one ended by SIGINT.
constexpr int kCtlInterrupted = 130;

struct MotionArgs {
    std::vector<std::string> idTexts;
    std::string out, time = "1000", hold = "0";
    std::string file, loop = "1", speed = "1", rate = "50", keyframe = "1";
    bool release = false;
    // Checked.
    std::vector<uint8_t> ids;
    Motion motion;  // the file's (for pose --out: as it was, or empty when it is new)
    Keyframe taught;
    PlayOptions play;
    int keyframeIndex = 0;
};

std::string IdList(const std::vector<uint8_t>& ids)
{
    std::string text;
    for (const uint8_t id : ids)
        text += (text.empty() ? "" : " ") + std::to_string(id);
    return text;
}

void CheckFile(const std::string& path, Motion& motion, Checker& c)
{
    MotionFileError error;
    if (!LoadMotion(path, motion, error))
        c.Fail(path + ": " + error.Text() + "; nothing was moved");
    else if (motion.keyframes.empty())
        c.Fail(path + ": keyframes: the motion has none; nothing was moved");
}

void CheckPose(MotionArgs& a, Checker& c)
{
    for (const std::string& text : a.idTexts) {
        const auto id = static_cast<uint8_t>(c.Get(text, "ID", 0, 253));
        if (std::find(a.ids.begin(), a.ids.end(), id) != a.ids.end())
            c.Fail("ID " + std::to_string(id) + " is named twice");
        a.ids.push_back(id);
    }
    a.taught.timeMs = static_cast<int>(c.Get(a.time, "--time", 1, kMaxKeyframeMs));
    a.taught.holdMs = static_cast<int>(c.Get(a.hold, "--hold", 0, kMaxKeyframeMs));
    if (a.out.empty() || !c.error.empty() || !std::filesystem::exists(a.out))
        return;
    MotionFileError error;
    if (!LoadMotion(a.out, a.motion, error)) {
        c.Fail(a.out + ": " + error.Text() + "; the pose was not read");
        return;
    }
    Keyframe names;
    for (const uint8_t id : a.ids)
        names.pose[id] = 0;
    if (!SameServos(a.motion, names))
        c.Fail(a.out + ": its keyframes name servos " + IdList(a.motion.Ids()) + ", not " +
               IdList(std::vector<uint8_t>(a.ids)));
}

int ReadPoseCommand(Session& s, MotionArgs& a)
{
    std::vector<MotionServo> servos;
    uint8_t failed = 0;
    Reply r;
    const char* what = "the identification read";
    Pose pose;
    s.bus.Run(JobKind::Command, [&](BusAccess& access) {
        r = IdentifyMotionServos(access.protocol, s.catalogue, a.ids, s.options, servos, failed);
        if (r) {
            what = "the position read";
            r = ReadPose(access.protocol, servos, pose, failed);
        }
    });
    if (!r)
        return s.Fail(failed, r, what);
    for (const auto& [id, position] : pose)
        s.out << int(id) << ' ' << position << '\n';
    s.out.flush();
    if (a.out.empty())
        return kCtlDone;
    a.taught.pose = pose;
    a.motion.keyframes.push_back(a.taught);
    std::string error;
    if (!SaveMotion(a.out, a.motion, error)) {
        s.err << "servoctl: " << error << "\n";
        return kCtlBusFailed;
    }
    s.out << "keyframe " << a.motion.keyframes.size() << " of " << a.out << std::endl;
    return kCtlDone;
}

// Plays `motion` to its end, a stop signal or a failure.
int Play(Session& s, const Motion& motion, const PlayOptions& options)
{
    const StopSignals signals;
    const MotionStart start = s.bus.Run(JobKind::Command, [&](BusAccess& access) {
        return PrepareMotion(access.protocol, s.catalogue, motion, s.options);
    });
    switch (start.problem) {
    case MotionStart::Problem::None:
        break;
    case MotionStart::Problem::Empty:
        s.err << "servoctl: the motion has no keyframes; nothing was moved\n";
        return kCtlBadUsage;
    case MotionStart::Problem::TooMany:
        s.err << "servoctl: the motion names more than " << SyncGroupsPerPacket(7)
              << " servos, more than one packet carries; nothing was moved\n";
        return kCtlBadUsage;
    case MotionStart::Problem::NoAnswer:
        s.Fail(start.id, start.reply, "the motion's first reads");
        s.err << "servoctl: nothing was moved\n";
        return kCtlBusFailed;
    case MotionStart::Problem::MixedBlocks:
        s.err << "servoctl: servo " << int(start.id) << ": its position block lies elsewhere than servo "
              << int(start.servos.front().id) << "'s; one packet can't move both; nothing was moved\n";
        return kCtlBusFailed;
    }
    for (const MotionClamp& c : start.clamps)
        s.err << "servoctl: servo " << int(c.id) << ": keyframe " << c.keyframe + 1 << "'s position "
              << c.asked << " lies outside its limits; " << c.sent << " is sent instead\n";
    if (StopSignals::Requested()) {
        s.out << "stopped before anything moved" << std::endl;
        return kCtlInterrupted;
    }

    MotionPlayer player(s.bus);
    player.Play(start, options);
    bool asked = false;
    while (player.Running()) {
        if (StopSignals::Requested() && !asked) {
            player.Stop();
            asked = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const MotionStatus status = player.Status();
    switch (status.end) {
    case MotionEnd::Done:
        s.out << "done: " << status.ticks << " ticks, holding" << std::endl;
        return kCtlDone;
    case MotionEnd::Stopped:
        s.out << "stopped after " << status.ticks << " ticks, "
              << (status.released ? "torque off" : "holding") << std::endl;
        if (options.release && !status.released)
            s.err << "servoctl: the torque-off packet was not sent\n";
        return kCtlInterrupted;
    case MotionEnd::Silent:
        return s.Fail(status.silentId, "stopped answering; the motion stopped, the others holding");
    case MotionEnd::PortGone:
        s.err << "servoctl: " << s.portName << ": port gone; the motion stopped\n";
        return kCtlBusFailed;
    default:
        s.err << "servoctl: a sync packet was not sent; the motion stopped\n";
        return kCtlBusFailed;
    }
}

void CheckPlay(MotionArgs& a, Checker& c)
{
    a.play.loops = static_cast<int>(c.Get(a.loop, "--loop", 0, 1000000));
    const auto speed = ParseDecimalArg(a.speed, kMinSpeedFactor, kMaxSpeedFactor);
    if (!speed)
        c.Fail("--speed must be 0.1..5, not \"" + a.speed + "\"");
    a.play.speed = speed.value_or(1.0);
    a.play.rateHz = static_cast<int>(c.Get(a.rate, "--rate", kMinRateHz, kMaxRateHz));
    a.play.release = a.release;
    if (c.error.empty())
        CheckFile(a.file, a.motion, c);
}

void CheckGo(MotionArgs& a, Checker& c)
{
    CheckFile(a.file, a.motion, c);
    if (!c.error.empty())
        return;
    a.keyframeIndex = static_cast<int>(c.Get(a.keyframe, "--keyframe", 1,
                                             static_cast<long long>(a.motion.keyframes.size()))) - 1;
    Keyframe only = a.motion.keyframes[static_cast<size_t>(std::max(0, a.keyframeIndex))];
    only.holdMs = 0;
    a.motion.keyframes = {only};
}

}  // namespace

void AddMotionCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    auto a = std::make_shared<MotionArgs>();

    CtlCommand pose;
    pose.sub = app.add_subcommand("pose", "read each servo's position once, one \"ID POSITION\" "
                                          "line each; with --out, append them to a motion file "
                                          "as its last keyframe");
    pose.sub->add_option("ID", a->idTexts)->required()->type_name("N");
    pose.sub->add_option("--out", a->out, "motion file to append the pose to (made when missing)")
        ->type_name("FILE");
    pose.sub->add_option("--time", a->time, "the keyframe's time to reach the pose, ms")
        ->capture_default_str()->type_name("MS");
    pose.sub->add_option("--hold", a->hold, "the keyframe's hold at the pose, ms")
        ->capture_default_str()->type_name("MS");
    pose.check = [a](Checker& c) { CheckPose(*a, c); };
    pose.exchange = [] { return kIdentifyExchange; };
    pose.ownJobs = true;
    pose.identify = false;
    pose.run = [a](Session& s) { return ReadPoseCommand(s, *a); };
    commands.push_back(std::move(pose));

    CtlCommand play;
    play.sub = app.add_subcommand("play", "play a motion file: torque on, ease in from where the "
                                          "servos stand, then one sync write a tick; Ctrl+C or "
                                          "SIGINT stops (holding, or torque off with --release) "
                                          "and exits 130");
    play.sub->add_option("FILE", a->file)->required()->type_name("FILE");
    play.sub->add_option("--loop", a->loop, "times to play it; 0 until stopped")
        ->capture_default_str()->type_name("N");
    play.sub->add_option("--speed", a->speed, "speed factor 0.1..5")->capture_default_str()->type_name("F");
    play.sub->add_option("--rate", a->rate, "ticks a second, 1..200")->capture_default_str()->type_name("HZ");
    play.sub->add_flag("--release", a->release, "a stop switches the torque off (default: hold)");
    play.check = [a](Checker& c) { CheckPlay(*a, c); };
    play.exchange = [] { return kIdentifyExchange; };
    play.ownJobs = true;
    play.identify = false;
    play.run = [a](Session& s) { return Play(s, a->motion, a->play); };
    commands.push_back(std::move(play));

    CtlCommand go;
    go.sub = app.add_subcommand("go", "ease from where the servos stand to one keyframe of a "
                                      "motion file and hold there");
    go.sub->add_option("FILE", a->file)->required()->type_name("FILE");
    go.sub->add_option("--keyframe", a->keyframe, "the keyframe, from 1")
        ->capture_default_str()->type_name("N");
    go.check = [a](Checker& c) { CheckGo(*a, c); };
    go.exchange = [] { return kIdentifyExchange; };
    go.ownJobs = true;
    go.identify = false;
    go.run = [a](Session& s) { return Play(s, a->motion, PlayOptions{}); };
    commands.push_back(std::move(go));
}
