// Interpolation of a motion's keyframes.
#include "servo/Motion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

std::vector<uint8_t> Motion::Ids() const
{
    std::vector<uint8_t> ids;
    if (!keyframes.empty())
        for (const auto& [id, position] : keyframes.front().pose)
            ids.push_back(id);
    return ids;
}

const char* EasingName(Easing easing)
{
    return easing == Easing::Linear ? "linear" : "minimum-jerk";
}

double Ease(Easing easing, double u)
{
    u = std::clamp(u, 0.0, 1.0);
    if (easing == Easing::Linear)
        return u;
    return u * u * u * (10 - 15 * u + 6 * u * u);
}

double EaseInMs(const Pose& from, const Pose& to, const std::map<uint8_t, double>& countsPerSecond)
{
    double longest = kEaseInMinMs;
    for (const auto& [id, position] : to)
        if (const auto at = from.find(id); at != from.end()) {
            const auto cap = countsPerSecond.find(id);
            const double speed = cap != countsPerSecond.end() && cap->second > 0 ? cap->second
                                                                                 : kEaseInCountsPerSecond;
            longest = std::max(longest, 1.875 * std::abs(position - at->second) / speed * 1000);
        }
    return longest;
}

MotionTimeline::MotionTimeline(const Motion& m, const Pose& s, double easeIn, int l, double f)
    : motion(m), start(s), easeInMs(easeIn), loops(std::max(0, l)),
      speed(std::clamp(f, kMinSpeedFactor, kMaxSpeedFactor))
{
    double rest = 0;  // every keyframe after the first, and the first's hold
    for (size_t k = 0; k < motion.keyframes.size(); ++k) {
        const Keyframe& kf = motion.keyframes[k];
        rest += (k == 0 ? 0 : kf.timeMs) + kf.holdMs;
    }
    rest /= speed;
    firstPassMs = easeInMs + rest;
    loopMs = motion.keyframes.empty() ? 0 : motion.keyframes.front().timeMs / speed + rest;
}

double MotionTimeline::LengthMs() const
{
    if (loops == 0)
        return -1;
    return firstPassMs + (loops - 1) * loopMs;
}

void MotionTimeline::InPass(double ms, const Pose& from, double firstMs, TimelinePoint& point) const
{
    const auto& kfs = motion.keyframes;
    const Pose* before = &from;
    for (size_t k = 0; k < kfs.size(); ++k) {
        point.keyframe = static_cast<int>(k);
        const double move = k == 0 ? firstMs : kfs[k].timeMs / speed;
        const double hold = kfs[k].holdMs / speed;
        if (ms < move) {
            // Eased: the ease-in always smoothly, keyframes as the motion says.
            const Easing easing = k == 0 && &from == &start ? Easing::MinimumJerk : motion.easing;
            const double share = Ease(easing, move > 0 ? ms / move : 1);
            point.targets.clear();
            for (const auto& [id, to] : kfs[k].pose) {
                const auto at = before->find(id);
                const int was = at != before->end() ? at->second : to;
                point.targets[id] = static_cast<int>(std::lround(was + (to - was) * share));
            }
            return;
        }
        ms -= move;
        if (ms < hold) {
            point.targets = kfs[k].pose;
            return;
        }
        ms -= hold;
        before = &kfs[k].pose;
    }
    point.targets = kfs.empty() ? from : kfs.back().pose;
    point.finished = true;
}

TimelinePoint MotionTimeline::At(double ms) const
{
    TimelinePoint point;
    const auto& kfs = motion.keyframes;
    if (kfs.empty()) {
        point.targets = start;
        point.finished = true;
        return point;
    }
    ms = std::max(0.0, ms);
    if (ms < firstPassMs || loops == 1) {
        InPass(ms, start, easeInMs, point);
        return point;
    }
    ms -= firstPassMs;
    const long long later = loopMs > 0 ? static_cast<long long>(ms / loopMs) : 0;
    if (loops > 0 && later + 1 >= loops) {
        point.loop = loops - 1;
        point.keyframe = static_cast<int>(kfs.size()) - 1;
        point.targets = kfs.back().pose;
        point.finished = true;
        return point;
    }
    point.loop = static_cast<int>(later + 1);
    InPass(loopMs > 0 ? ms - later * loopMs : 0, kfs.back().pose, kfs.front().timeMs / speed, point);
    point.finished = false;
    return point;
}
