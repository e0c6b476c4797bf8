// Poses and motions from Python: Pose, Motion (load, save, add), Port.pose() and Port.play().
// A play is the core's player, a periodic job of the port's bus; Ctrl-C stops it as
// `release` says, and the KeyboardInterrupt is raised once it has stopped.
#include "Bindings.h"

#include "Errors.h"
#include "Waiting.h"
#include "servo/MotionFile.h"
#include "servo/MotionPlayer.h"

#include <thread>

namespace servobus {

// A pose as Python holds it (a plain map would be taken for a dict).
struct PoseValue {
    Pose pose;
};

namespace {

std::string PoseRepr(const Pose& pose)
{
    std::string text = "Pose({";
    for (const auto& [id, position] : pose)
        text += (text.size() > 6 ? ", " : "") + std::to_string(id) + ": " + std::to_string(position);
    return text + "})";
}

PoseValue PoseOf(const std::map<int, int>& positions)
{
    if (positions.empty())
        throw py::value_error("a pose names at least one servo");
    Pose pose;
    for (const auto& [id, position] : positions)
        pose[static_cast<uint8_t>(Checked(id, "ID", 0, 253))] =
            static_cast<int>(Checked(position, "position", -30719, 30719));
    return {pose};
}

Easing EasingOf(const std::string& name)
{
    if (name == "linear")
        return Easing::Linear;
    if (name != "minimum-jerk")
        throw py::value_error("easing must be \"linear\" or \"minimum-jerk\", not \"" + name + "\"");
    return Easing::MinimumJerk;
}

PoseValue ReadPoseOf(Port& port, const std::vector<int>& ids)
{
    std::vector<uint8_t> list;
    for (const int id : ids) {
        const auto checked = static_cast<uint8_t>(Checked(id, "ID", 0, 253));
        if (std::find(list.begin(), list.end(), checked) != list.end())
            throw py::value_error("ID " + std::to_string(id) + " is named twice");
        list.push_back(checked);
    }
    if (list.empty())
        throw py::value_error("a pose names at least one servo");
    PortCore& c = *port.core;
    uint8_t failed = 0;
    Pose pose;
    const Reply r = RunOnBus(*c.bus, JobKind::Command, [&](BusAccess& access) {
        c.Prepare(access, kIdentifyExchange);
        std::vector<MotionServo> servos;
        Reply read = IdentifyMotionServos(access.protocol, c.catalogue, list, {}, servos, failed);
        return read ? ReadPose(access.protocol, servos, pose, failed) : read;
    });
    if (!r)
        RaiseReply(r, failed, c.TimeoutMs(), "the position read");
    return {pose};
}

void Play(Port& port, const Motion& motion, long long loop, double speed, long long rate, bool release)
{
    PlayOptions options;
    options.loops = static_cast<int>(Checked(loop, "loop", 0, 1000000));
    if (!(speed >= kMinSpeedFactor && speed <= kMaxSpeedFactor))
        throw py::value_error("speed must be 0.1..5, not " + std::to_string(speed));
    options.speed = speed;
    options.rateHz = static_cast<int>(Checked(rate, "rate", kMinRateHz, kMaxRateHz));
    options.release = release;
    if (motion.keyframes.empty())
        throw py::value_error("the motion has no keyframes");
    PortCore& c = *port.core;
    const MotionStart start = RunOnBus(*c.bus, JobKind::Command, [&](BusAccess& access) {
        c.Prepare(access, kIdentifyExchange);
        return PrepareMotion(access.protocol, c.catalogue, motion, {});
    });
    const ErrorClasses& e = Errors();
    switch (start.problem) {
    case MotionStart::Problem::None:
        break;
    case MotionStart::Problem::NoAnswer:
        RaiseReply(start.reply, start.id, c.TimeoutMs(), "the motion's first reads; nothing was moved");
    case MotionStart::Problem::TooMany:
        throw py::value_error("the motion names more servos than one packet carries (31)");
    default:
        Raise(e.base, "servo " + std::to_string(start.id) + ": its position block lies elsewhere "
                      "than the first servo's; nothing was moved", start.id);
    }
    const py::object warn = py::module_::import("warnings").attr("warn");
    for (const MotionClamp& clamp : start.clamps)
        warn("servo " + std::to_string(clamp.id) + ": keyframe " + std::to_string(clamp.keyframe) +
             "'s position " + std::to_string(clamp.asked) + " lies outside its limits; " +
             std::to_string(clamp.sent) + " is sent instead");

    MotionPlayer player(*c.bus);
    player.Play(start, options);
    while (player.Running()) {
        if (SleepUntil(std::chrono::steady_clock::now() + kSignalStep))
            continue;
        // A signal's handler raised: stop, wait for the stop's tick, then raise it.
        py::error_already_set interrupted;
        player.Stop();
        {
            py::gil_scoped_release unlocked;
            while (player.Running())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        throw interrupted;
    }
    const MotionStatus status = player.Status();
    switch (status.end) {
    case MotionEnd::Done:
    case MotionEnd::Stopped:
        return;
    case MotionEnd::Silent:
        Raise(e.noAnswer, "servo " + std::to_string(status.silentId) +
                              ": stopped answering; the motion stopped, the others holding",
              status.silentId, "stopped answering");
    case MotionEnd::PortGone:
        Raise(e.port, "port gone; the motion stopped", std::nullopt, "port gone");
    default:
        Raise(e.base, "a sync packet was not sent; the motion stopped");
    }
}

}  // namespace

void AddMotion(py::module_& m)
{
    using P = PoseValue;
    py::class_<P>(m, "Pose", "A position for each of a set of servos, by bus ID.")
        .def(py::init(&PoseOf), py::arg("positions"), "From a dict of ID to position.")
        .def_property_readonly("positions", [](const P& p) {
            return std::map<int, int>(p.pose.begin(), p.pose.end());
        }, "A dict of ID to position.")
        .def_property_readonly("ids", [](const P& p) {
            std::vector<int> ids;
            for (const auto& [id, position] : p.pose)
                ids.push_back(id);
            return ids;
        }, "The IDs, in increasing order.")
        .def("__getitem__", [](const P& p, int id) {
            const auto at = p.pose.find(static_cast<uint8_t>(id));
            if (id < 0 || id > 253 || at == p.pose.end())
                throw py::key_error(std::to_string(id));
            return at->second;
        }, "The position of servo `id`.")
        .def("__len__", [](const P& p) { return p.pose.size(); }, "The number of servos.")
        .def("__eq__", [](const P& a, const P& b) { return a.pose == b.pose; }, "Same servos, same positions.")
        .def("__repr__", [](const P& p) { return PoseRepr(p.pose); }, "Its positions.");
    py::implicitly_convertible<py::dict, P>();

    py::class_<Motion>(m, "Motion",
        "Keyframes (a pose, the time to reach it from the one before, a hold), played "
        "linearly or with minimum jerk. Saved as a versioned JSON file (docs/python.md).")
        .def(py::init([](const std::string& easing) { return Motion{EasingOf(easing), {}}; }),
             py::arg("easing") = "minimum-jerk", "An empty motion.")
        .def_static("load", [](const std::string& path) {
            Motion motion;
            MotionFileError error;
            if (!LoadMotion(path, motion, error))
                throw py::value_error(path + ": " + error.Text());
            return motion;
        }, py::arg("path"), "Reads a motion file; ValueError names the line or the field.")
        .def("save", [](const Motion& motion, const std::string& path) {
            std::string error;
            if (!SaveMotion(path, motion, error))
                Raise(Errors().base, error);
        }, py::arg("path"), "Writes the motion file whole (a failed save leaves the old one).")
        .def("add", [](Motion& motion, const PoseValue& pose, long long timeMs, long long holdMs) {
            Keyframe kf{pose.pose, static_cast<int>(Checked(timeMs, "time_ms", 1, kMaxKeyframeMs)),
                        static_cast<int>(Checked(holdMs, "hold_ms", 0, kMaxKeyframeMs))};
            if (!SameServos(motion, kf))
                throw py::value_error("a keyframe names the same servos as the motion's others");
            motion.keyframes.push_back(std::move(kf));
        }, py::arg("pose"), py::kw_only(), py::arg("time_ms") = 1000, py::arg("hold_ms") = 0,
           "Appends a keyframe: `pose` reached in `time_ms` and held `hold_ms`.")
        .def_property("easing", [](const Motion& motion) { return std::string(EasingName(motion.easing)); },
                      [](Motion& motion, const std::string& name) { motion.easing = EasingOf(name); },
                      "\"linear\" or \"minimum-jerk\".")
        .def_property_readonly("keyframes", [](const Motion& motion) {
            py::list list;
            for (const Keyframe& kf : motion.keyframes)
                list.append(py::make_tuple(PoseValue{kf.pose}, kf.timeMs, kf.holdMs));
            return list;
        }, "The keyframes as (pose, time_ms, hold_ms).")
        .def("__len__", [](const Motion& motion) { return motion.keyframes.size(); }, "Keyframes.")
        .def("__repr__", [](const Motion& motion) {
            return "Motion(" + std::to_string(motion.keyframes.size()) + " keyframes, " +
                   EasingName(motion.easing) + ")";
        }, "Its keyframes and easing.");

    auto port = py::reinterpret_borrow<py::class_<Port>>(m.attr("Port"));
    port.def("pose", &ReadPoseOf, py::arg("ids"),
             "Reads each servo's position once (teaching: its torque off, posed by hand).");
    port.def("play", &Play, py::arg("motion"), py::kw_only(), py::arg("loop") = 1,
             py::arg("speed") = 1.0, py::arg("rate") = 50, py::arg("release") = false,
             "Plays a motion: torque on, an ease-in from where the servos stand, then one "
             "sync write a tick at `rate` Hz, `loop` times (0: until stopped) at `speed` "
             "(0.1..5) times its pace; it holds the last keyframe. Ctrl-C stops it (holding, "
             "or torque off with `release=True`) and raises KeyboardInterrupt. A servo that "
             "stops answering raises NoAnswerError naming it, the others holding.");
}

}  // namespace servobus
