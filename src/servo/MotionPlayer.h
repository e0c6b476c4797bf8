#pragma once
// Playing a motion on the bus. The start (PrepareMotion, inside one bus job) identifies every
// servo of the motion, reads its limits and where it stands, and writes nothing; the player
// is then one periodic bus job: each tick one sync-write packet that gives every servo its own
// interpolated target, and one servo's position read, in turn, to see that it still answers.
// Its first tick switches the torque on with each servo's target where it stands, so nothing
// jumps; the ease-in then brings every servo to the first keyframe at a capped speed.
//
// A stop holds (torque on, the last targets standing) or releases (torque off). A servo that
// stops answering ends the motion, holding, and is named; so does a port that goes away.

#include "bus/ServoBus.h"
#include "catalogue/ModelCatalogue.h"
#include "servo/Identify.h"
#include "servo/Motion.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// One servo of a motion, as the start found it.
struct MotionServo {
    uint8_t id = 0;
    ServoProfile profile;
    DebugProfile debug = kDefaultDebugProfile;
    // The positions it may be sent: its target row's range within its angle limits.
    int low = -30719;
    int high = 30719;
};

// A keyframe position outside its servo's limits, and what is sent instead.
struct MotionClamp {
    int keyframe = 0;
    uint8_t id = 0;
    int asked = 0;
    int sent = 0;
};

// What the start found. Nothing has been written to any servo.
struct MotionStart {
    enum class Problem : uint8_t {
        None,
        Empty,          // the motion has no keyframes
        TooMany,        // more servos than one sync packet carries (31)
        NoAnswer,       // `id` did not answer (`reply` says how)
        MixedBlocks,    // `id`'s position block (or torque switch) lies elsewhere than the first's
    } problem = Problem::None;
    uint8_t id = 0;
    Reply reply;
    std::vector<MotionServo> servos;
    Pose current;                      // where each servo stands
    Motion motion;                     // clamped to the servos' limits
    std::vector<MotionClamp> clamps;   // each clamped keyframe position, once
    bool ok() const { return problem == Problem::None; }
};

// Identifies `ids` (the identification bytes read, the catalogue's rows, the options) and
// reads each servo's limits. The first that does not answer ends it (`failed`).
Reply IdentifyMotionServos(ZNS& protocol, ModelCatalogue& catalogue, const std::vector<uint8_t>& ids,
                           const ProfileOptions& options, std::vector<MotionServo>& servos,
                           uint8_t& failed);
// Reads each servo's position once: a pose (teaching). The first that does not answer ends
// it (`failed`).
Reply ReadPose(ZNS& protocol, const std::vector<MotionServo>& servos, Pose& pose, uint8_t& failed);

// Inside a bus job: every servo of the motion identified, its limits and position read, the
// keyframes clamped. Writes nothing.
MotionStart PrepareMotion(ZNS& protocol, ModelCatalogue& catalogue, const Motion& motion,
                          const ProfileOptions& options);

struct PlayOptions {
    int loops = 1;         // 0: until stopped
    double speed = 1.0;    // kMinSpeedFactor..kMaxSpeedFactor
    int rateHz = kDefaultRateHz;
    bool release = false;  // a stop switches the torque off
};

enum class MotionEnd : uint8_t {
    Running,
    Done,         // the last keyframe of the last loop reached and held
    Stopped,      // asked to stop
    Silent,       // `silentId` stopped answering: the others hold
    PortGone,     // the port went away (or closed)
    WriteFailed,  // a tick's packet did not go out
};

struct MotionStatus {
    MotionEnd end = MotionEnd::Running;
    uint8_t silentId = 0;
    bool released = false;   // the stop switched the torque off
    long long ticks = 0;     // sync packets sent
    double ms = 0;           // into the playback, at the last tick
    int loop = 0;
    int keyframe = 0;
    Pose targets;            // sent by the last tick
    Pose positions;          // the latest position read of each servo
};

class MotionPlayer {
public:
    explicit MotionPlayer(ServoBus& bus);
    // Ends the periodic job (holding: nothing more is sent). Never waits for the bus.
    ~MotionPlayer();
    MotionPlayer(const MotionPlayer&) = delete;
    MotionPlayer& operator=(const MotionPlayer&) = delete;

    // Plays a prepared start (start.ok()); a playing motion is stopped, holding, first.
    // `ended` is called once, on the bus's thread, when the motion ends; it must not wait for
    // another thread.
    void Play(const MotionStart& start, const PlayOptions& options,
              std::function<void(const MotionStatus&)> ended = {});
    // Asks the next tick to stop: releasing as the play's options say, or as given.
    void Stop();
    void Stop(bool release);

    bool Running() const;
    MotionStatus Status() const;
    // The timeline being played (for a plot of the targets); empty before Play.
    std::shared_ptr<const MotionTimeline> Timeline() const;

private:
    struct State;
    ServoBus& bus;
    std::shared_ptr<State> state;
    std::unique_ptr<ServoBus::Periodic> periodic;
};
