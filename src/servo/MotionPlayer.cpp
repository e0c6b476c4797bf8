// The motion's start and its player, one periodic bus job.
#include "servo/MotionPlayer.h"

#include "servo/MemoryRows.h"
#include "support/LeadingInt.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// The rows that bound a servo's positions, by their names in its memory table.
constexpr const char* kTargetRow = "目标位置";
constexpr const char* kMinAngleRow = "最小角度限制";
constexpr const char* kMaxAngleRow = "最大角度限制";
// A servo is silent once this many reads of it in a row went unanswered over at least
// kSilence: a miss (a damaged answer, a late one on a busy machine) is asked again at the
// next tick.
constexpr int kSilentMisses = 3;
constexpr auto kSilence = std::chrono::milliseconds(250);
constexpr int kPositionBlockSize = 7;

int Word(const ServoProfile& profile, const uint8_t* bytes)
{
    return profile.byteOrder != 0 ? bytes[0] << 8 | bytes[1] : bytes[1] << 8 | bytes[0];
}

Reply ReadPosition(ZNS& protocol, const MotionServo& servo, int& position)
{
    uint8_t bytes[2] = {};
    const Reply r = protocol.ReadMemory(servo.id, servo.debug.feedbackFirst, bytes, 2);
    if (r && r.count == 2)
        position = DecodeSignMagnitude(static_cast<uint16_t>(Word(servo.profile, bytes)), 15);
    else if (r)
        return Reply::Failed(Outcome::NoAnswer);
    return r;
}

// The limits of `servo` from its memory table: the target row's range, narrowed to the angle
// limits the servo holds (when they make a range: equal limits mean none on some models).
Reply ReadLimits(ZNS& protocol, ModelCatalogue& catalogue, const ModelKey& key, MotionServo& servo)
{
    MemoryTable items{};
    const int count = TableRows(items, catalogue.LookupMemoryTable(items, key));
    int minAngle = -1, maxAngle = -1;
    for (int i = 0; i < count; ++i) {
        const MemoryItem& row = items[static_cast<size_t>(i)];
        if (row.name == kTargetRow) {
            if (row.minimum != "-1")
                servo.low = std::max(servo.low, LeadingInt(row.minimum));
            if (row.maximum != "-1")
                servo.high = std::min(servo.high, LeadingInt(row.maximum));
        } else if (row.name == kMinAngleRow && LeadingInt(row.size) == 2) {
            minAngle = LeadingInt(row.address);
        } else if (row.name == kMaxAngleRow && LeadingInt(row.size) == 2) {
            maxAngle = LeadingInt(row.address);
        }
    }
    if (minAngle < 0 || maxAngle < 0 || minAngle > 253 || maxAngle > 253)
        return Reply::Answered();
    int limits[2] = {};
    for (int k = 0; k < 2; ++k) {
        uint8_t bytes[2] = {};
        const Reply r = protocol.ReadMemory(servo.id, static_cast<uint8_t>(k ? maxAngle : minAngle), bytes, 2);
        if (!r || r.count != 2)
            return r ? Reply::Failed(Outcome::NoAnswer) : r;
        limits[k] = Word(servo.profile, bytes);
    }
    if (limits[0] < limits[1]) {
        servo.low = std::max(servo.low, limits[0]);
        servo.high = std::min(servo.high, limits[1]);
    }
    return Reply::Answered();
}

}  // namespace

Reply IdentifyMotionServos(ZNS& protocol, ModelCatalogue& catalogue, const std::vector<uint8_t>& ids,
                           const ProfileOptions& options, std::vector<MotionServo>& servos,
                           uint8_t& failed)
{
    servos.clear();
    for (const uint8_t id : ids) {
        Identity identity;
        Reply r = IdentifyServo(protocol, catalogue, id, options, identity, true);
        MotionServo servo{id, identity.profile, identity.debug};
        if (r)
            r = ReadLimits(protocol, catalogue, identity.key, servo);
        if (!r) {
            failed = id;
            return r;
        }
        servos.push_back(servo);
    }
    return Reply::Answered();
}

Reply ReadPose(ZNS& protocol, const std::vector<MotionServo>& servos, Pose& pose, uint8_t& failed)
{
    pose.clear();
    for (const MotionServo& servo : servos) {
        int position = 0;
        if (const Reply r = ReadPosition(protocol, servo, position); !r) {
            failed = servo.id;
            return r;
        }
        pose[servo.id] = position;
    }
    return Reply::Answered();
}

MotionStart PrepareMotion(ZNS& protocol, ModelCatalogue& catalogue, const Motion& motion,
                          const ProfileOptions& options)
{
    MotionStart start;
    start.motion = motion;
    const std::vector<uint8_t> ids = motion.Ids();
    if (ids.empty()) {
        start.problem = MotionStart::Problem::Empty;
        return start;
    }
    if (static_cast<int>(ids.size()) > SyncGroupsPerPacket(kPositionBlockSize)) {
        start.problem = MotionStart::Problem::TooMany;
        return start;
    }
    start.reply = IdentifyMotionServos(protocol, catalogue, ids, options, start.servos, start.id);
    if (start.reply)
        start.reply = ReadPose(protocol, start.servos, start.current, start.id);
    if (!start.reply) {
        start.problem = MotionStart::Problem::NoAnswer;
        return start;
    }
    const MotionServo& first = start.servos.front();
    for (const MotionServo& servo : start.servos)
        if (servo.profile.positionAddress != first.profile.positionAddress ||
            servo.debug.torqueAddress != first.debug.torqueAddress) {
            start.problem = MotionStart::Problem::MixedBlocks;
            start.id = servo.id;
            return start;
        }
    for (size_t k = 0; k < start.motion.keyframes.size(); ++k)
        for (const MotionServo& servo : start.servos) {
            int& position = start.motion.keyframes[k].pose[servo.id];
            const int sent = std::clamp(position, servo.low, servo.high);
            if (sent != position)
                start.clamps.push_back({static_cast<int>(k), servo.id, position, sent});
            position = sent;
        }
    return start;
}

struct MotionPlayer::State {
    std::vector<MotionServo> servos;
    PlayOptions options;
    std::shared_ptr<const MotionTimeline> timeline;
    std::function<void(const MotionStatus&)> ended;
    int periodMs = 20;

    // The bus thread's alone.
    bool started = false;
    Clock::time_point t0;
    size_t nextRead = 0;
    int misses = 0;
    Clock::time_point lastAnswer;  // the last answered read (or the start)
    std::vector<uint8_t> groups;

    std::atomic<int> stopAsked{0};  // 0 none, 1 holding, 2 releasing
    std::atomic<bool> running{true};

    // Held for a copy of the status, and around the periodic job's own stop.
    mutable std::mutex mutex;
    MotionStatus status;
    ServoBus::Periodic* periodic = nullptr;

    const MotionServo& First() const { return servos.front(); }

    // One packet: every servo's own position block, the torque switch before it on the first.
    Reply SendTargets(ZNS& protocol, const Pose& targets, bool withTorque)
    {
        const ServoProfile& p = First().profile;
        const int length = kPositionBlockSize + (withTorque ? 1 : 0);
        groups.clear();
        for (const MotionServo& servo : servos) {
            const auto at = targets.find(servo.id);
            const int target = std::clamp(at != targets.end() ? at->second : 0, servo.low, servo.high);
            const auto block = ZNS::PositionBlock(servo.profile, target, 0, 0, periodMs);
            groups.push_back(servo.id);
            if (withTorque)
                groups.push_back(1);
            groups.insert(groups.end(), block.begin(), block.end());
        }
        const uint8_t address = static_cast<uint8_t>(p.positionAddress - (withTorque ? 1 : 0));
        return protocol.SyncWriteEach(address, static_cast<uint8_t>(length), groups.data(),
                                      static_cast<int>(servos.size()));
    }

    Reply Torque(ZNS& protocol, bool on)
    {
        groups.clear();
        for (const MotionServo& servo : servos) {
            groups.push_back(servo.id);
            groups.push_back(on ? 1 : 0);
        }
        return protocol.SyncWriteEach(First().debug.torqueAddress, 1, groups.data(),
                                      static_cast<int>(servos.size()));
    }

    void End(MotionEnd end, uint8_t silent = 0, bool released = false)
    {
        // Under the lock: a player that has gone (or played anew) gets no call. The call
        // must not wait for another thread, so holding the lock for it is safe.
        std::lock_guard lock(mutex);
        status.end = end;
        status.silentId = silent;
        status.released = released;
        running = false;  // after the status, which whoever sees it stopped reads next
        if (!periodic)
            return;
        periodic->Stop();
        if (ended)
            ended(status);
    }

    static MotionEnd EndOf(const Reply& r)
    {
        return r.outcome == Outcome::PortGone || r.outcome == Outcome::PortClosed ? MotionEnd::PortGone
                                                                                  : MotionEnd::WriteFailed;
    }

    void Tick(BusAccess& access)
    {
        if (!running)
            return;
        ZNS& protocol = access.protocol;
        if (const int ask = stopAsked.load()) {
            const bool release = ask == 2;
            const Reply r = release ? Torque(protocol, false) : Reply::Answered();
            End(MotionEnd::Stopped, 0, release && r.ok());
            return;
        }
        const auto now = Clock::now();
        const bool first = !started;
        if (first)
            t0 = lastAnswer = now;
        const double ms = std::chrono::duration<double, std::milli>(now - t0).count();
        const TimelinePoint point = timeline->At(ms);
        // The first packet switches the torque on with every target where its servo stands
        // (the ease-in's start), in one packet when the switch lies just below the block.
        const bool together = first && First().debug.torqueAddress + 1 == First().profile.positionAddress &&
                              static_cast<int>(servos.size()) <= SyncGroupsPerPacket(kPositionBlockSize + 1);
        Reply r = SendTargets(protocol, point.targets, together);
        if (r && first && !together)
            r = Torque(protocol, true);
        started = true;
        {
            std::lock_guard lock(mutex);
            if (r)
                ++status.ticks;
            status.ms = ms;
            status.loop = point.loop;
            status.keyframe = point.keyframe;
            status.targets = point.targets;
        }
        if (!r) {
            End(EndOf(r));
            return;
        }
        // One servo's position a tick, in turn; one asked again after a miss.
        const MotionServo& servo = servos[nextRead % servos.size()];
        int position = 0;
        const Reply read = ReadPosition(protocol, servo, position);
        if (read) {
            misses = 0;
            ++nextRead;
            lastAnswer = Clock::now();
            std::lock_guard lock(mutex);
            status.positions[servo.id] = position;
        } else if (read.outcome == Outcome::PortGone || read.outcome == Outcome::PortClosed) {
            End(MotionEnd::PortGone);
            return;
        } else if (++misses >= kSilentMisses && Clock::now() - lastAnswer >= kSilence) {
            End(MotionEnd::Silent, servo.id);
            return;
        }
        if (point.finished)
            End(MotionEnd::Done);
    }
};

MotionPlayer::MotionPlayer(ServoBus& b) : bus(b) {}

MotionPlayer::~MotionPlayer()
{
    if (state) {
        std::lock_guard lock(state->mutex);
        state->running = false;
        state->periodic = nullptr;
    }
    periodic.reset();
}

void MotionPlayer::Play(const MotionStart& start, const PlayOptions& options,
                        std::function<void(const MotionStatus&)> ended)
{
    if (state) {
        std::lock_guard lock(state->mutex);
        state->running = false;
        state->periodic = nullptr;
    }
    periodic.reset();
    if (!start.ok() || start.servos.empty())
        return;
    auto s = std::make_shared<State>();
    s->servos = start.servos;
    s->options = options;
    s->options.rateHz = std::clamp(options.rateHz, kMinRateHz, kMaxRateHz);
    s->periodMs = 1000 / s->options.rateHz;
    const Pose& firstPose = start.motion.keyframes.front().pose;
    // Each servo's cap from its range: the counts of its full travel.
    std::map<uint8_t, double> caps;
    for (const MotionServo& servo : start.servos)
        caps[servo.id] = kEaseInRangePerSecond * (4096.0 / EffectiveDivisor(servo.debug.positionDivisor));
    s->timeline = std::make_shared<MotionTimeline>(start.motion, start.current,
                                                   EaseInMs(start.current, firstPose, caps),
                                                   options.loops, options.speed);
    s->ended = std::move(ended);
    s->status.targets = start.current;
    s->status.positions = start.current;
    state = s;
    // Created stopped: the job's own stop needs the pointer in place before the first tick.
    periodic = bus.Every(std::chrono::milliseconds(s->periodMs), [s](BusAccess& access) { s->Tick(access); },
                         false);
    {
        std::lock_guard lock(s->mutex);
        s->periodic = periodic.get();
    }
    periodic->Start();
}

void MotionPlayer::Stop()
{
    if (state)
        Stop(state->options.release);
}

void MotionPlayer::Stop(bool release)
{
    if (state)
        state->stopAsked = release ? 2 : 1;
}

bool MotionPlayer::Running() const
{
    return state && state->running;
}

MotionStatus MotionPlayer::Status() const
{
    if (!state) {
        MotionStatus none;
        none.end = MotionEnd::Done;
        return none;
    }
    std::lock_guard lock(state->mutex);
    return state->status;
}

std::shared_ptr<const MotionTimeline> MotionPlayer::Timeline() const
{
    return state ? state->timeline : nullptr;
}
